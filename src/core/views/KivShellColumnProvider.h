#pragma once

// Which columns a folder offers and how each is titled, sized and aligned: what views, view
// settings and the column chooser start from when nothing was remembered for a folder.
//
// For now the provider here is a stand-in that answers the columns every file system folder
// shows (name, size, type, date modified); the provider that asks each folder for its own
// columns and the property system for the rest takes its place behind the same interface.
//
// Providers are immutable after construction; any thread may ask them.

#include "core/shell/KivShellTypes.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace kiv {

enum class TKivColumnAlignment
{
    caLeft,
    caRight,
    caCenter,
};

// One column as the provider describes it.
struct TColumnInfo
{
    // Index of the column in the folder's own column list; -1 when the folder does not know the
    // column, 256 for the free-percentage column.
    int fShellIndex = -1;
    TShellColumnId fShellColumn;
    // Pixels at 96 dpi.
    std::uint32_t fWidth = 0;
    TKivColumnAlignment fAlignment = TKivColumnAlignment::caLeft;
    bool fVisibleByDefault = false;
    QString fTitle;
    // The column state bits (kColumnState*).
    std::uint32_t fFlags = 0;
    // 1 for the percentage column, else 0.
    std::uint8_t fDisplayType = 0;

    friend bool operator==(const TColumnInfo&, const TColumnInfo&) = default;
};

// Column state bits as folders report them.
inline constexpr std::uint32_t kColumnStateTypeString = 0x1;
inline constexpr std::uint32_t kColumnStateTypeInt = 0x2;
inline constexpr std::uint32_t kColumnStateTypeDate = 0x3;
inline constexpr std::uint32_t kColumnStateOnByDefault = 0x10;
inline constexpr std::uint32_t kColumnStateHidden = 0x100;

// The columns of the default file system view.
namespace columns {
TShellColumnId Name();
TShellColumnId Size();
TShellColumnId Type();
TShellColumnId DateModified();
} // namespace columns

class IKivShellColumnProvider
{
public:
    virtual ~IKivShellColumnProvider() = default;
    // The column pShellColumnId of pFolder; a column the folder does not know has shell index -1.
    virtual TColumnInfo GetColumnInfo(const IItemIdListPtr& pFolder,
                                      const TShellColumnId& pShellColumnId) const = 0;
    // The folder's visible columns (pAll false) or all its columns, in the folder's order.
    virtual std::vector<TShellColumnId> GetColumns(const IItemIdListPtr& pFolder,
                                                   bool pAll) const = 0;
};

using IKivShellColumnProviderPtr = std::shared_ptr<const IKivShellColumnProvider>;

// The stand-in: name, size, type and date modified, all visible by default, for every folder.
class TKivDefaultColumnProvider final : public IKivShellColumnProvider
{
public:
    static IKivShellColumnProviderPtr Create();

    TColumnInfo GetColumnInfo(const IItemIdListPtr& pFolder,
                              const TShellColumnId& pShellColumnId) const override;
    std::vector<TShellColumnId> GetColumns(const IItemIdListPtr& pFolder, bool pAll) const override;
};

} // namespace kiv
