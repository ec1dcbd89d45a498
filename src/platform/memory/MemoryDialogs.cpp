#include "MemoryDialogs.h"

namespace kiv::pf::mem {

namespace {

template <class T> std::optional<T> Take(std::deque<T>& pQueue)
{
    if (pQueue.empty())
        return std::nullopt;
    T value = std::move(pQueue.front());
    pQueue.pop_front();
    return value;
}

constexpr HResult kCancelled = HResultFromWin32(1223);

} // namespace

void TMemoryDialogs::Record(TShown pShown)
{
    pShown.Title = NormalizeDialogText(pShown.Title);
    pShown.Text = NormalizeDialogText(pShown.Text);
    fShown.push_back(std::move(pShown));
}

TMsgButton TMemoryDialogs::MessageBox(WindowRef, const QString& pTitle, const QString& pText,
                                      TMsgIcon pIcon, TMsgButtons pButtons)
{
    const std::lock_guard lock(fLock);
    Record({QStringLiteral("message"), pTitle, pText, pIcon, {}});
    const TMsgButton unanswered = pButtons == TMsgButtons::Ok ? TMsgButton::Ok : TMsgButton::Cancel;
    return Take(fMessageAnswers).value_or(unanswered);
}

void TMemoryDialogs::TaskDialog(WindowRef, const QString& pTitle, const QString& pText,
                                TMsgIcon pIcon)
{
    const std::lock_guard lock(fLock);
    Record({QStringLiteral("task"), pTitle, pText, pIcon, {}});
}

bool TMemoryDialogs::InputQuery(WindowRef, const QString& pTitle, const QString& pPrompt,
                                QString& pValue)
{
    const std::lock_guard lock(fLock);
    Record({QStringLiteral("input"), pTitle, pPrompt, TMsgIcon::None, pValue});
    const std::optional<QString> answer = Take(fInputAnswers).value_or(std::nullopt);
    if (!answer)
        return false;
    pValue = *answer;
    return true;
}

std::uint32_t TMemoryDialogs::ConnectDialog(TConnectDialogArgs& pArgs)
{
    const std::lock_guard lock(fLock);
    Record({QStringLiteral("connect"), {}, {}, TMsgIcon::None, pArgs.RemoteName});
    const auto answer = Take(fConnectAnswers);
    if (!answer)
        return kDialogCancelled;
    if (answer->first == 0) {
        pArgs.DevNum = 0;
        pArgs.MountPath = answer->second;
    }
    return answer->first;
}

std::uint32_t TMemoryDialogs::DisconnectDialog(WindowRef, std::function<void()> pOnClosed)
{
    std::uint32_t result = kDialogCancelled;
    {
        const std::lock_guard lock(fLock);
        Record({QStringLiteral("disconnect"), {}, {}, TMsgIcon::None, {}});
        result = Take(fDisconnectAnswers).value_or(kDialogCancelled);
    }
    if (pOnClosed)
        pOnClosed();
    return result;
}

HResult TMemoryDialogs::BrowseForFolder(TBrowseArgs& pArgs, const TBrowseCallbacks&,
                                        IdListBytes& pChosen)
{
    const std::lock_guard lock(fLock);
    Record({QStringLiteral("browse"), pArgs.Title, {}, TMsgIcon::None, {}});
    std::optional<IdListBytes> answer = Take(fBrowseAnswers).value_or(std::nullopt);
    if (!answer)
        return kCancelled;
    pChosen = std::move(*answer);
    return S_OK;
}

HResult TMemoryDialogs::FileOpenDialog(TFileDialogArgs& pArgs, const TFileDialogEvents& pEvents)
{
    {
        const std::lock_guard lock(fLock);
        Record({QStringLiteral("file"), pArgs.Title, {}, TMsgIcon::None, pArgs.DefaultFolder});
    }
    for (;;) {
        std::optional<QStringList> answer;
        {
            const std::lock_guard lock(fLock);
            answer = Take(fFileAnswers);
        }
        if (!answer || answer->isEmpty())
            return kCancelled;
        // The events run outside the lock: they may ask other dialogs.
        if (pEvents.OnSelectionChange)
            pEvents.OnSelectionChange(answer->first());
        bool canClose = true;
        if (pEvents.OnFileOk)
            pEvents.OnFileOk(*answer, canClose);
        if (canClose) {
            pArgs.Chosen = *answer;
            return S_OK;
        }
    }
}

bool TMemoryDialogs::Authenticate(const QString& pPath, bool)
{
    const std::lock_guard lock(fLock);
    Record({QStringLiteral("authenticate"), {}, {}, TMsgIcon::None, pPath});
    return fAuthenticateResult;
}

void TMemoryDialogs::PushMessageAnswer(TMsgButton pButton)
{
    const std::lock_guard lock(fLock);
    fMessageAnswers.push_back(pButton);
}

void TMemoryDialogs::PushInputAnswer(std::optional<QString> pText)
{
    const std::lock_guard lock(fLock);
    fInputAnswers.push_back(std::move(pText));
}

void TMemoryDialogs::PushConnectAnswer(std::uint32_t pResult, const QString& pMountPath)
{
    const std::lock_guard lock(fLock);
    fConnectAnswers.emplace_back(pResult, pMountPath);
}

void TMemoryDialogs::PushDisconnectAnswer(std::uint32_t pResult)
{
    const std::lock_guard lock(fLock);
    fDisconnectAnswers.push_back(pResult);
}

void TMemoryDialogs::PushBrowseAnswer(std::optional<IdListBytes> pChosen)
{
    const std::lock_guard lock(fLock);
    fBrowseAnswers.push_back(std::move(pChosen));
}

void TMemoryDialogs::PushFileAnswer(const QStringList& pChosen)
{
    const std::lock_guard lock(fLock);
    fFileAnswers.push_back(pChosen);
}

void TMemoryDialogs::SetAuthenticateResult(bool pResult)
{
    const std::lock_guard lock(fLock);
    fAuthenticateResult = pResult;
}

std::vector<TMemoryDialogs::TShown> TMemoryDialogs::Shown() const
{
    const std::lock_guard lock(fLock);
    return fShown;
}

} // namespace kiv::pf::mem
