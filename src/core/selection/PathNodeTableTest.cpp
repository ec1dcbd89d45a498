#include "core/selection/PathNodeTable.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <map>
#include <random>

namespace kiv {
namespace {

struct TTestNode
{
    QString Key;
    std::size_t Hash = 0;
    int Value = 0;
};

// Few distinct hash values at the end of any table, so that runs of slots form, wrap around to
// its start and lose members from their middle: the cases where erasing must move later slots
// back.
std::size_t CrowdedHash(int pKey)
{
    return SIZE_MAX - static_cast<std::size_t>(pKey % 7) * 3;
}

TEST(PathNodeTableTest, AgreesWithAMapThroughInsertsAndErases)
{
    TPathNodeTable<TTestNode> table;
    std::map<int, TTestNode*> expected;
    std::mt19937 random(7);
    for (int step = 0; step < 20000; ++step) {
        const int key = static_cast<int>(random() % 300);
        const QString text = QString::number(key);
        if (random() % 3 != 0) {
            const auto [node, inserted] = table.TryEmplace(text, CrowdedHash(key));
            ASSERT_EQ(inserted, expected.count(key) == 0) << step;
            if (inserted)
                node->Value = key;
            expected[key] = node;
        } else if (const auto found = expected.find(key); found != expected.end()) {
            table.Erase(found->second);
            expected.erase(found);
        }
        ASSERT_EQ(table.Size(), expected.size());
    }
    for (int key = 0; key < 300; ++key) {
        TTestNode* const node = table.Find(QString::number(key), CrowdedHash(key));
        const auto found = expected.find(key);
        if (found == expected.end()) {
            EXPECT_EQ(node, nullptr) << key;
        } else {
            // Nodes never move: the pointer handed out at insertion still finds the same node.
            EXPECT_EQ(node, found->second) << key;
            EXPECT_EQ(node->Value, key);
        }
    }
}

} // namespace
} // namespace kiv
