#pragma once

#include "core/platform/HResult.h"
#include "core/platform/IShellFolder.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// Context menus of items and folder backgrounds. A menu fills a model (the platform's part of a
// merged menu, with the ids it was given) and runs the command of an id or a verb; the user
// interface turns the model into real menus. Verbs the family compares (case-insensitively):
// "open", "openas", "explore", "cut", "copy", "paste", "delete", "rename", "properties",
// "copypath", "pintohome", "unpinfromhome", "cmd", "NewFolder", "link", "undelete", "empty",
// "refresh".

namespace kiv::pf {

// What QueryContextMenu is asked for.
namespace cmf {
inline constexpr std::uint32_t NORMAL = 0x0;
inline constexpr std::uint32_t DEFAULTONLY = 0x1;
inline constexpr std::uint32_t EXPLORE = 0x4;
inline constexpr std::uint32_t CANRENAME = 0x10;
inline constexpr std::uint32_t EXTENDEDVERBS = 0x100;
inline constexpr std::uint32_t OPTIMIZEFORINVOKE = 0x800;
inline constexpr std::uint32_t SYNCCASCADEMENU = 0x1000;
} // namespace cmf

// How InvokeCommand is asked.
namespace cmic {
inline constexpr std::uint32_t FLAG_NO_UI = 0x400;
inline constexpr std::uint32_t UNICODE = 0x4000;
inline constexpr std::uint32_t ASYNCOK = 0x100000;
// Shift was down: "delete" deletes for good instead of moving to the trash.
inline constexpr std::uint32_t SHIFT_DOWN = 0x10000000;
} // namespace cmic

// One entry of a menu. Ids are absolute (the first id QueryContextMenu was given plus the
// entry's offset); separators and sub-menu heads may carry none (0).
struct MenuItem
{
    std::uint32_t Id = 0;
    QString Caption; // with "&" before the access key
    QString Verb;
    QString HelpText;
    QString IconName; // a freedesktop icon name, or empty
    bool Enabled = true;
    bool Checked = false;
    bool IsDefault = false;
    bool Separator = false;
    std::vector<MenuItem> Children;

    static MenuItem MakeSeparator()
    {
        MenuItem item;
        item.Separator = true;
        return item;
    }
};

struct MenuModel
{
    std::vector<MenuItem> Items;

    // The entry with pId, looked for in sub-menus too; null when none.
    const MenuItem* FindById(std::uint32_t pId) const;
    // The default entry; null when none.
    const MenuItem* FindDefault() const;
};

struct InvokeInfo
{
    // The command by offset from the first id (what a chosen entry gives), or else by Verb.
    std::optional<std::uint32_t> IdOffset;
    QString Verb;
    std::uint32_t Mask = 0;
    WindowRef Owner = nullptr;
    QString Directory;
};

enum class CommandString
{
    VerbW,
    HelpTextW,
};

class IContextMenu
{
public:
    virtual ~IContextMenu() = default;
    // Inserts the menu's entries at pIndex of pMenu with ids from pIdFirst up to pIdLast; the
    // result's code is the highest offset used plus one.
    virtual HResult QueryContextMenu(MenuModel& pMenu, std::uint32_t pIndex, std::uint32_t pIdFirst,
                                     std::uint32_t pIdLast, std::uint32_t pFlags) = 0;
    virtual HResult InvokeCommand(const InvokeInfo& pInfo) = 0;
    virtual HResult GetCommandString(std::uint32_t pIdOffset, CommandString pKind,
                                     QString& pText) = 0;
};

using IContextMenuPtr = std::shared_ptr<IContextMenu>;

// A successful QueryContextMenu result reporting pCount offsets used.
constexpr HResult MenuResult(std::uint32_t pCount)
{
    return static_cast<HResult>(pCount & 0xFFFF);
}

} // namespace kiv::pf
