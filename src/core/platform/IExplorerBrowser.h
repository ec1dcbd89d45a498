#pragma once

#include "core/platform/Guid.h"
#include "core/platform/HResult.h"
#include "core/platform/IShellItem.h"
#include "core/platform/IShellView.h"
#include "core/platform/IdList.h"
#include "core/platform/WindowRef.h"

#include <QRect>
#include <QString>

#include <cstdint>
#include <memory>

// The explorer browser: a ready-made folder window (navigation pane, folder view, optional
// details and preview panes, its own travel log) that a host control embeds and drives by
// navigating it. The host listens to navigation events, decides which panes show, and answers the
// view's questions (ICommDlgBrowser). Flag values are the published ones.
//
// Implementations are widgets: every call is made on the user-interface thread; events and
// callbacks arrive there too.

namespace kiv::pf {

class IDropTarget;

// EXPLORER_BROWSER_OPTIONS (SetOptions).
namespace ebo {
inline constexpr std::uint32_t NONE = 0x0;
inline constexpr std::uint32_t NAVIGATEONCE = 0x1;
inline constexpr std::uint32_t SHOWFRAMES = 0x2;
inline constexpr std::uint32_t ALWAYSNAVIGATE = 0x4;
inline constexpr std::uint32_t NOTRAVELLOG = 0x8;
inline constexpr std::uint32_t NOWRAPPERWINDOW = 0x10;
inline constexpr std::uint32_t HTMLSHAREPOINTVIEW = 0x20;
inline constexpr std::uint32_t NOBORDER = 0x40;
inline constexpr std::uint32_t NOPERSISTVIEWSTATE = 0x80;
} // namespace ebo

// SBSP: how BrowseToIDList / BrowseToObject navigate.
namespace sbsp {
inline constexpr std::uint32_t ABSOLUTE = 0x0;
inline constexpr std::uint32_t RELATIVE = 0x1000;
inline constexpr std::uint32_t PARENT = 0x2000;
inline constexpr std::uint32_t NAVIGATEBACK = 0x4000;
inline constexpr std::uint32_t NAVIGATEFORWARD = 0x8000;
} // namespace sbsp

// EXPLORERPANESTATE: the host's answer for one pane, a state with optional modifiers.
namespace eps {
inline constexpr std::uint32_t DONTCARE = 0x0;
inline constexpr std::uint32_t DEFAULT_ON = 0x1;
inline constexpr std::uint32_t DEFAULT_OFF = 0x2;
inline constexpr std::uint32_t STATEMASK = 0xFFFF;
inline constexpr std::uint32_t INITIALSTATE = 0x10000;
inline constexpr std::uint32_t FORCE = 0x20000;
} // namespace eps

// The panes a host is asked about (the published identifiers).
namespace explorerpane {
inline constexpr Guid Navigation =
    MakeGuid(0xCB316B22, 0x25F7, 0x42B8, 0x8A, 0x09, 0x54, 0x0D, 0x23, 0xA4, 0x3C, 0x2F);
inline constexpr Guid Commands =
    MakeGuid(0xD9745868, 0xCA5F, 0x4A76, 0x91, 0xCD, 0xF5, 0xA1, 0x29, 0xFB, 0xB0, 0x76);
inline constexpr Guid CommandsOrganize =
    MakeGuid(0x72E81700, 0xE3EC, 0x4660, 0xBF, 0x24, 0x3C, 0x3B, 0x7B, 0x64, 0x88, 0x06);
inline constexpr Guid CommandsView =
    MakeGuid(0x21F7C32D, 0xEEAA, 0x439B, 0xBB, 0x51, 0x37, 0xB9, 0x6F, 0xD6, 0xA9, 0x43);
inline constexpr Guid Details =
    MakeGuid(0x43ABF98B, 0x89B8, 0x472D, 0xB9, 0xCE, 0xE6, 0x9B, 0x82, 0x29, 0xF0, 0x19);
inline constexpr Guid Preview =
    MakeGuid(0x893C63D1, 0x45C8, 0x4D17, 0xBE, 0x19, 0x22, 0x3B, 0xE7, 0x1B, 0xE3, 0x65);
} // namespace explorerpane

// A key stroke offered to the browser before the host handles it (TranslateAcceleratorIO).
struct KeyStroke
{
    int Key = 0;                 // Qt::Key
    std::uint32_t Modifiers = 0; // Qt::KeyboardModifiers
    bool Press = true;
};

// Navigation events, implemented by the host. They come in this order for one navigation:
// pending, view created (when a new view was made), then complete or failed.
class IExplorerBrowserEvents
{
public:
    virtual ~IExplorerBrowserEvents() = default;
    // E_ACCESSDENIED (any failure) vetoes the navigation.
    virtual HResult OnNavigationPending(IdSpan pFolder) = 0;
    virtual HResult OnViewCreated(const IShellViewPtr& pView) = 0;
    virtual HResult OnNavigationComplete(IdSpan pFolder) = 0;
    virtual HResult OnNavigationFailed(IdSpan pFolder) = 0;
};

using IExplorerBrowserEventsPtr = std::shared_ptr<IExplorerBrowserEvents>;

// Which panes show, implemented by the host; asked when a view is made.
class IExplorerPaneVisibility
{
public:
    virtual ~IExplorerPaneVisibility() = default;
    // pState: eps:: bits; the pane identifiers are those of explorerpane::.
    virtual HResult GetPaneState(const Guid& pPane, std::uint32_t& pState) = 0;
};

class IExplorerBrowser
{
public:
    virtual ~IExplorerBrowser() = default;
    // ebo:: bits; before Initialize.
    virtual HResult SetOptions(std::uint32_t pOptions) = 0;
    virtual HResult Initialize(WindowRef pParent, const QRect& pRect,
                               const FolderSettings& pSettings) = 0;
    // Names the store of the browser's per-folder view state.
    virtual HResult SetPropertyBag(const QString& pName) = 0;
    virtual HResult Advise(const IExplorerBrowserEventsPtr& pEvents, std::uint32_t& pCookie) = 0;
    virtual HResult Unadvise(std::uint32_t pCookie) = 0;
    // The host's callbacks; either may be null. Not owned: the host clears them before it goes.
    virtual HResult SetSite(IExplorerPaneVisibility* pPanes, ICommDlgBrowser* pBrowser) = 0;
    // Tears the window down; the object answers E_FAIL afterwards.
    virtual HResult Destroy() = 0;
    virtual HResult SetRect(const QRect& pRect) = 0;
    // The text an empty folder shows.
    virtual HResult SetEmptyText(const QString& pText) = 0;
    virtual HResult SetFolderSettings(const FolderSettings& pSettings) = 0;
    // Navigates to a folder; E_BUSY while another navigation is being set up (the caller lets
    // pending events run and tries again).
    virtual HResult BrowseToObject(const IShellItemPtr& pFolder, std::uint32_t pFlags) = 0;
    // pFolder null with sbsp::NAVIGATEBACK / NAVIGATEFORWARD moves in the travel log.
    virtual HResult BrowseToIDList(const IdSpan* pFolder, std::uint32_t pFlags) = 0;
    virtual HResult GetCurrentView(IFolderView2Ptr& pView) = 0;
    // S_OK when the browser used the key stroke.
    virtual HResult TranslateAcceleratorIO(const KeyStroke& pKey) = 0;
    // The browser's outer window, its folder view and its navigation tree (null when hidden).
    virtual WindowRef GetWindow() = 0;
    virtual WindowRef GetViewWidget() = 0;
    virtual WindowRef GetTreeWidget() = 0;
    // The navigation tree's own drop target, which a host may wrap.
    virtual HResult GetTreeDropTarget(std::shared_ptr<IDropTarget>& pTarget) = 0;
};

using IExplorerBrowserPtr = std::shared_ptr<IExplorerBrowser>;

// Makes explorer browsers; null from a platform that has none yet.
class IBrowserFactory
{
public:
    virtual ~IBrowserFactory() = default;
    virtual HResult CreateExplorerBrowser(IExplorerBrowserPtr& pBrowser) = 0;
};

} // namespace kiv::pf
