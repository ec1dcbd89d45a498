#include "KivShellTypes.h"

#include "core/shell/KivExceptions.h"

#include <array>
#include <atomic>
#include <iterator>

namespace kiv {
namespace {

constexpr std::array<const char*, kKivShellFolderCount> kShellFolderNames = {
    "SF_FILESYSTEMFOLDER",
    "SF_BITBUCKET",
    "SF_CONTROLS",
    "SF_DESKTOP",
    "SF_DESKTOPDIRECTORY",
    "SF_DRIVES",
    "SF_FONTS",
    "SF_NETHOOD",
    "SF_NETWORK",
    "SF_PERSONAL",
    "SF_PRINTERS",
    "SF_PROGRAMS",
    "SF_RECENT",
    "SF_SENDTO",
    "SF_STARTMENU",
    "SF_STARTUP",
    "SF_TEMPLATES",
    "SF_FAVORITES",
    "SF_COMMON_STARTMENU",
    "SF_COMMON_STARTUP",
    "SF_COMMON_DESKTOPDIRECTORY",
    "SF_APPDATA",
    "SF_PRINTHOOD",
    "SF_COMMON_FAVORITES",
    "SF_INTERNET_CACHE",
    "SF_COOKIES",
    "SF_HISTORY",
    "SF_COMMON_PROGRAMS",
    "SF_ALTSTARTUP",
    "SF_COMMON_APPDATA",
    "SF_COMMON_DOCUMENTS",
    "SF_INTERNET",
    "SF_LOCAL_APPDATA",
    "SF_MYPICTURES",
    "SF_PROGRAM_FILES",
    "SF_SYSTEM",
    "SF_PROGRAM_FILES_COMMON",
    "SF_WINDOWS",
    "SF_PROGRAM_FILESX86",
    "SF_PROGRAM_FILES_COMMONX86",
    "SF_SYSTEMX86",
    "SF_MY_MUSIC",
    "SF_MY_VIDEOS",
    "SF_LIBRARIES",
    "SF_LIBRARY_DOCUMENTS",
    "SF_LIBRARY_PICTURES",
    "SF_LIBRARY_MUSIC",
    "SF_LIBRARY_VIDEOS",
    "SF_LIBRARY_PUBLIC",
    "SF_PROFILE",
    "SF_HOME_GROUP",
    "SF_LINKS",
    "SF_QUICKACCESS",
    "SF_DOWNLOADS",
    "SF_ONEDRIVE",
    "SF_QUICKLAUNCH",
    "SF_UNKNOWN",
    "SF_INVALID",
};
static_assert(static_cast<int>(TKivShellFolder::SF_INVALID) == kKivShellFolderCount - 1);

struct TActionText
{
    TShellAction Action;
    const char* Verb;
    const char* Caption;
};

// In the order of TShellAction, which is also the order a verb is looked up in: "DELETE" names
// saDelete before saDeleteNoUndo.
constexpr TActionText kActionTexts[] = {
    {TShellAction::saDefault, "DEFAULT", "&Open / Execute"},
    {TShellAction::saOpen, "OPEN", "&Open"},
    {TShellAction::saExplore, "EXPLORE", "&Open in File Explorer"},
    {TShellAction::saCopy, "COPY", "&Copy"},
    {TShellAction::saCut, "CUT", "Cu&t"},
    {TShellAction::saPaste, "PASTE", "&Paste"},
    {TShellAction::saDelete, "DELETE", "&Delete"},
    {TShellAction::saRename, "RENAME", "&Rename"},
    {TShellAction::saProperties, "PROPERTIES", "P&roperties"},
    {TShellAction::saCopyPath, "copypath", "Cop&y as Path"},
    {TShellAction::saPinToHome, "PINTOHOME", "Pin to &Quick Access"},
    {TShellAction::saCreateNewFolder, "NewFolder", "New Folder"},
    {TShellAction::saOpenCommandPrompt, "cmd", "Open &command prompt"},
    {TShellAction::saDeleteNoUndo, "DELETE", "&Delete"},
    {TShellAction::saBdeUnlock, "unlock-bde", "&Unlock drive"},
    {TShellAction::saOpenWith, "openas", "Open wit&h..."},
    {TShellAction::saGoUp, "GOUP", "Go &Up"},
};
static_assert(std::size(kActionTexts) == static_cast<std::size_t>(TShellAction::saUnknown));

const TActionText* FindAction(TShellAction pAction)
{
    const auto index = static_cast<std::size_t>(pAction);
    if (index >= std::size(kActionTexts))
        return nullptr;
    return &kActionTexts[index];
}

QString StripHotKey(const QString& pCaption)
{
    QString result;
    result.reserve(pCaption.size());
    for (qsizetype i = 0; i < pCaption.size(); ++i) {
        if (pCaption[i] == u'&') {
            // "&&" is a literal "&"; a single one marks the hot key and goes.
            if (i + 1 < pCaption.size() && pCaption[i + 1] == u'&')
                result += u'&';
            else
                continue;
            ++i;
            continue;
        }
        result += pCaption[i];
    }
    return result;
}

std::atomic<TOperationOptions::TBits>& DefaultOptionBits()
{
    static std::atomic<TOperationOptions::TBits> bits{
        TOperationOptions{TOperationOption::soAllowUndo, TOperationOption::soNoConfirmMkDir}
            .Bits()};
    return bits;
}

} // namespace

QString KivShellFolderName(TKivShellFolder pFolder)
{
    const auto index = static_cast<std::size_t>(pFolder);
    if (index >= kShellFolderNames.size())
        return QString::number(static_cast<int>(pFolder));
    return QString::fromLatin1(kShellFolderNames[index]);
}

std::optional<std::uint32_t> DisplayNameSigdn(TItemIdListDisplayNameFormat pFormat)
{
    switch (pFormat) {
    case TItemIdListDisplayNameFormat::dnfNormal:
        return SIGDN_NORMALDISPLAY;
    case TItemIdListDisplayNameFormat::dnfInFolder:
        return SIGDN_PARENTRELATIVE;
    case TItemIdListDisplayNameFormat::dnfPath:
        return SIGDN_DESKTOPABSOLUTEEDITING;
    case TItemIdListDisplayNameFormat::dnfPhysicalPath:
        return SIGDN_FILESYSPATH;
    case TItemIdListDisplayNameFormat::dnfRelativeForAddressBar:
        return SIGDN_PARENTRELATIVEFORADDRESSBAR;
    case TItemIdListDisplayNameFormat::dnfRelativeParsing:
        return SIGDN_PARENTRELATIVEPARSING;
    case TItemIdListDisplayNameFormat::dnfAbsoluteParsing:
        return SIGDN_DESKTOPABSOLUTEPARSING;
    case TItemIdListDisplayNameFormat::dnfForExplorer:
    case TItemIdListDisplayNameFormat::dnfPreferPhysical:
        break;
    }
    return std::nullopt;
}

std::optional<std::uint32_t> DisplayNameShgdn(TItemIdListDisplayNameFormat pFormat)
{
    const std::optional<std::uint32_t> sigdn = DisplayNameSigdn(pFormat);
    if (!sigdn)
        return std::nullopt;
    return *sigdn & 0xFFFFu;
}

QString ShellActionVerb(TShellAction pAction)
{
    const TActionText* text = FindAction(pAction);
    if (!text)
        throw EInvalidOperation(
            QStringLiteral("It is not possible to deliver a string verb for saUnknown."));
    return QString::fromLatin1(text->Verb);
}

TShellAction ShellActionFromVerb(const QString& pVerb)
{
    for (const TActionText& text : kActionTexts) {
        if (pVerb.compare(QLatin1String(text.Verb), Qt::CaseInsensitive) == 0)
            return text.Action;
    }
    return TShellAction::saUnknown;
}

QString ShellActionCaption(TShellAction pAction, bool pStripHotKey)
{
    const TActionText* text = FindAction(pAction);
    if (!text)
        throw EInvalidOperation(QStringLiteral("No string for TShellAction ") +
                                QString::number(static_cast<int>(pAction)));
    const QString caption = QString::fromLatin1(text->Caption);
    return pStripHotKey ? StripHotKey(caption) : caption;
}

TOperationOptions DefaultOperationOptions()
{
    return TOperationOptions::FromBits(DefaultOptionBits().load(std::memory_order_relaxed));
}

void SetDefaultOperationOptions(TOperationOptions pOptions)
{
    DefaultOptionBits().store(pOptions.Bits(), std::memory_order_relaxed);
}

TShellCommand::TShellCommand(TShellAction pAction, const QString& pDestination)
    : Destination(pDestination)
    , OperationOptions(DefaultOperationOptions())
    , fCommand(pAction)
{
    // saUnknown has no verb; its command stays without one until a verb is set.
    if (pAction != TShellAction::saUnknown)
        fVerb = ShellActionVerb(pAction);
    if (pAction == TShellAction::saDeleteNoUndo)
        OperationOptions.Exclude(TOperationOption::soAllowUndo);
}

TShellCommand::TShellCommand(const QString& pVerb)
    : OperationOptions(DefaultOperationOptions())
    , fCommand(ShellActionFromVerb(pVerb))
    , fVerb(pVerb)
{
}

QString TShellCommand::Verb() const
{
    if (fVerb.isEmpty())
        return ShellActionVerb(fCommand);
    return fVerb;
}

QString TShellCommand::VerbOrEmpty() const
{
    if (fVerb.isEmpty() && fCommand == TShellAction::saUnknown)
        return {};
    return Verb();
}

void RejectUnavailableVerb(const TShellCommand& pCommand)
{
    if (pCommand.VerbOrEmpty().compare(QLatin1String("Windows.ModernShare"), Qt::CaseInsensitive) ==
        0)
        throw ENotSupportedException(
            QStringLiteral("Sharing through the system's share sheet is not available here."));
}

} // namespace kiv
