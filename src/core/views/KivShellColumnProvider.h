#pragma once

// Which columns a folder offers and how each is titled, sized and aligned: what views, view
// settings and the column chooser start from when nothing was remembered for a folder.
//
// TKivFolderColumnProvider asks each folder for its own columns (and the property system for
// columns the folder does not know); TKivDefaultColumnProvider answers the columns every file
// system folder shows (name, date modified, type, size), for folders that give none.
//
// Providers are immutable after construction; any thread may ask them.

#include "core/shell/FolderColumns.h"
#include "core/shell/KivShellTypes.h"
#include "core/shell/ShellColumns.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace kiv {

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

// Name, date modified, type and size, all visible by default, for every folder.
class TKivDefaultColumnProvider final : public IKivShellColumnProvider
{
public:
    static IKivShellColumnProviderPtr Create();

    TColumnInfo GetColumnInfo(const IItemIdListPtr& pFolder,
                              const TShellColumnId& pShellColumnId) const override;
    std::vector<TShellColumnId> GetColumns(const IItemIdListPtr& pFolder, bool pAll) const override;
};

// The folder's own columns; the defaults above for a folder that gives none.
class TKivFolderColumnProvider final : public IKivShellColumnProvider
{
public:
    static IKivShellColumnProviderPtr Create();

    TColumnInfo GetColumnInfo(const IItemIdListPtr& pFolder,
                              const TShellColumnId& pShellColumnId) const override;
    std::vector<TShellColumnId> GetColumns(const IItemIdListPtr& pFolder, bool pAll) const override;

private:
    TKivDefaultColumnProvider fDefaults;
};

} // namespace kiv
