#include "MemoryDragDrop.h"

#include "core/platform/DataObject.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kiv::pf::mem {
namespace {

// The drop source every drag of the family uses: Escape or another button cancels, releasing the
// dragging button drops.
class TLeftButtonSource final : public IDropSource
{
public:
    HResult QueryContinueDrag(bool pEscapePressed, std::uint32_t pKeyState) override
    {
        if (pEscapePressed || (pKeyState & (mk::RBUTTON | mk::MBUTTON)))
            return DRAGDROP_S_CANCEL;
        return pKeyState & mk::LBUTTON ? S_OK : DRAGDROP_S_DROP;
    }
    HResult GiveFeedback(std::uint32_t pEffect) override
    {
        Feedback.push_back(pEffect);
        return DRAGDROP_S_USEDEFAULTCURSORS;
    }
    std::vector<std::uint32_t> Feedback;
};

// Answers each call with Effect (and the enter with EnterResult) and writes down what it got.
class TRecordingTarget final : public IDropTarget
{
public:
    HResult DragEnter(const IDataObjectPtr&, std::uint32_t pKeyState, QPoint,
                      std::uint32_t& pEffect) override
    {
        Calls.push_back("enter " + std::to_string(pKeyState));
        pEffect = Effect;
        return EnterResult;
    }
    HResult DragOver(std::uint32_t pKeyState, QPoint, std::uint32_t& pEffect) override
    {
        Calls.push_back("over " + std::to_string(pKeyState));
        pEffect = Effect;
        return S_OK;
    }
    HResult DragLeave() override
    {
        Calls.push_back("leave");
        return S_OK;
    }
    HResult Drop(const IDataObjectPtr&, std::uint32_t pKeyState, QPoint,
                 std::uint32_t& pEffect) override
    {
        Calls.push_back("drop " + std::to_string(pKeyState));
        pEffect = Effect;
        return S_OK;
    }
    std::uint32_t Effect = DROPEFFECT_MOVE;
    HResult EnterResult = S_OK;
    std::vector<std::string> Calls;
};

const int kWindow = 0;
const WindowRef kDropWindow = &kWindow;

TEST(MemoryDragDropTest, RegistrationIsOncePerWindow)
{
    TMemoryDragDrop dnd;
    auto first = std::make_shared<TRecordingTarget>();
    EXPECT_EQ(dnd.Register(kDropWindow, first), S_OK);
    EXPECT_EQ(dnd.Register(kDropWindow, std::make_shared<TRecordingTarget>()),
              DRAGDROP_E_ALREADYREGISTERED);
    EXPECT_EQ(dnd.Target(kDropWindow), first);
    EXPECT_EQ(dnd.Register(nullptr, first), DRAGDROP_E_INVALIDHWND);
    EXPECT_EQ(dnd.Revoke(kDropWindow), S_OK);
    EXPECT_EQ(dnd.Revoke(kDropWindow), DRAGDROP_E_NOTREGISTERED);
    EXPECT_EQ(dnd.Target(kDropWindow), nullptr);
}

TEST(MemoryDragDropTest, DropTargetHelperFailsOnRequest)
{
    TMemoryDragDrop dnd;
    IDropTargetHelperPtr helper;
    EXPECT_EQ(dnd.CreateDropTargetHelper(helper), S_OK);
    EXPECT_NE(helper, nullptr);
    dnd.SetTargetHelperFailure(E_NOINTERFACE);
    EXPECT_EQ(dnd.CreateDropTargetHelper(helper), E_NOINTERFACE);
    EXPECT_EQ(helper, nullptr);
}

struct TDragCase
{
    const char* Name;
    std::vector<TMemoryDragDrop::TStep> Steps;
    std::uint32_t TargetEffect;
    HResult EnterResult;
    HResult Result;
    std::uint32_t Effect;
    std::vector<std::string> Calls;
};

class MemoryDragLoopTest : public ::testing::TestWithParam<TDragCase>
{
};

// The script drives the source, and the source's answers drive the target as a real loop would.
TEST_P(MemoryDragLoopTest, SourceDecidesAndTargetAnswers)
{
    const TDragCase& row = GetParam();
    TMemoryDragDrop dnd;
    auto target = std::make_shared<TRecordingTarget>();
    target->Effect = row.TargetEffect;
    target->EnterResult = row.EnterResult;
    ASSERT_EQ(dnd.Register(kDropWindow, target), S_OK);
    dnd.ScriptDrag(row.Steps, kDropWindow);
    auto source = std::make_shared<TLeftButtonSource>();
    std::uint32_t effect = 99;
    EXPECT_EQ(dnd.DoDragDrop(nullptr, std::make_shared<TDataObject>(), source,
                             DROPEFFECT_COPY | DROPEFFECT_MOVE, effect),
              row.Result);
    EXPECT_EQ(effect, row.Effect);
    EXPECT_EQ(target->Calls, row.Calls);
    EXPECT_EQ(dnd.Drags(), 1);
}

using S = TMemoryDragDrop::TStep;
constexpr std::uint32_t L = mk::LBUTTON;
constexpr std::uint32_t C = mk::CONTROL;

INSTANTIATE_TEST_SUITE_P(
    Scripts, MemoryDragLoopTest,
    ::testing::Values(
        // Released with Ctrl held: the drop sees Ctrl but no button.
        TDragCase{"Drop",
                  {S{L}, S{L | C}, S{C}},
                  DROPEFFECT_MOVE,
                  S_OK,
                  DRAGDROP_S_DROP,
                  DROPEFFECT_MOVE,
                  {"enter 1", "over 9", "drop 8"}},
        // A target may answer an effect the source does not allow; the source gets none of it.
        TDragCase{"LinkNotAllowed",
                  {S{L}, S{0}},
                  DROPEFFECT_LINK,
                  S_OK,
                  DRAGDROP_S_DROP,
                  DROPEFFECT_NONE,
                  {"enter 1", "leave"}},
        TDragCase{"Escape",
                  {S{L}, S{L, true}},
                  DROPEFFECT_COPY,
                  S_OK,
                  DRAGDROP_S_CANCEL,
                  DROPEFFECT_NONE,
                  {"enter 1", "leave"}},
        TDragCase{"OtherButton",
                  {S{L}, S{L | mk::RBUTTON}},
                  DROPEFFECT_COPY,
                  S_OK,
                  DRAGDROP_S_CANCEL,
                  DROPEFFECT_NONE,
                  {"enter 1", "leave"}},
        // A refused enter ends the target's part in the drag.
        TDragCase{"EnterRefused",
                  {S{L}, S{L}, S{0}},
                  DROPEFFECT_COPY,
                  E_UNEXPECTED,
                  DRAGDROP_S_DROP,
                  DROPEFFECT_NONE,
                  {"enter 1"}},
        TDragCase{"ScriptRunsOut",
                  {S{L}},
                  DROPEFFECT_COPY,
                  S_OK,
                  DRAGDROP_S_CANCEL,
                  DROPEFFECT_NONE,
                  {"enter 1", "leave"}}),
    [](const ::testing::TestParamInfo<TDragCase>& pInfo) { return std::string(pInfo.param.Name); });

} // namespace
} // namespace kiv::pf::mem
