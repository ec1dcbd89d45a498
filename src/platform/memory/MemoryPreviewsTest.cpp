#include "MemoryPreviews.h"

#include <gtest/gtest.h>

namespace kiv::pf::mem {
namespace {

TEST(MemoryPreviewsTest, ScriptedHandlersRecordTheirCallsAndCreationCanFail)
{
    TMemoryPreviews previews;
    TPreviewScript script;
    script.InitializeWithStream = E_NOINTERFACE;
    script.InitializeWithFile = S_OK;
    previews.Register({previewids::CLSID_TextPreviewer, QStringLiteral("Text"), {}, {}}, script);
    previews.RegisterProgId(QStringLiteral("AcroPDF.PDF"), previewids::CLSID_DocumentPreviewer);

    // Not ready at the first attempt, ready at the second.
    previews.FailCreations(1, REGDB_E_CLASSNOTREG);
    IPreviewHandlerPtr handler;
    EXPECT_EQ(previews.Create(previewids::CLSID_TextPreviewer, handler), REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(handler);
    ASSERT_EQ(previews.Create(previewids::CLSID_TextPreviewer, handler), S_OK);
    EXPECT_EQ(previews.CreateCalls(), 2);
    IPreviewHandlerPtr unknown;
    EXPECT_EQ(previews.Create(previewids::CLSID_MkvPreviewer, unknown), REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(previews.IsRegistered(previewids::CLSID_MkvPreviewer));

    EXPECT_EQ(handler->InitializeWithStream(nullptr, stgm::READ), E_NOINTERFACE);
    EXPECT_EQ(handler->InitializeWithItem(nullptr, stgm::READ), E_NOINTERFACE);
    EXPECT_EQ(handler->InitializeWithFile(QStringLiteral("/x.txt"), stgm::READ), S_OK);
    EXPECT_EQ(handler->SetWindow(nullptr, QRect(0, 0, 10, 10)), S_OK);
    EXPECT_EQ(handler->DoPreview(), S_OK);
    EXPECT_EQ(handler->Unload(), S_OK);
    ASSERT_EQ(previews.Made().size(), 1u);
    EXPECT_EQ(
        previews.Made().front()->Calls(),
        (QStringList{QStringLiteral("InitializeWithStream"), QStringLiteral("InitializeWithItem"),
                     QStringLiteral("InitializeWithFile"), QStringLiteral("SetWindow"),
                     QStringLiteral("DoPreview"), QStringLiteral("Unload")}));

    Guid clsid;
    EXPECT_EQ(previews.ClsidFromProgId(QStringLiteral("acropdf.pdf"), clsid), S_OK);
    EXPECT_EQ(clsid, previewids::CLSID_DocumentPreviewer);
    EXPECT_EQ(previews.ClsidFromProgId(QStringLiteral("Other.Thing"), clsid), CO_E_CLASSSTRING);
}

} // namespace
} // namespace kiv::pf::mem
