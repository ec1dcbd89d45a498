#pragma once

// View settings: for the folder a view shows, how it is to be shown — the sort column and
// direction, the report columns with their widths and, for the views that use them, the view
// mode, icon size, grouping and folder flags.
//
// The kinds differ in how long they remember: TNoPersistViewSettings keeps one sort order for
// every folder and nothing else; TPerSpecialFolderViewSettings keeps sort orders and columns in
// memory per special folder (all ordinary folders share one slot); the property bag kinds
// (KivViewStatePropertyBag.h) keep everything in the platform's per-folder view state store.
// Defaults come from the column provider.
//
// Ownership: a view holds its view settings through IKivViewSettingsPtr and replaces them when
// the user picks another kind. Threads: the view's thread (the user-interface thread) only.

#include "core/shell/KivShellTypes.h"
#include "core/views/KivShellColumnProvider.h"

#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace kiv {

// The system's sort column record: a property key and a direction (1 ascending, -1
// descending; 0 when nothing was set).
struct SORTCOLUMN
{
    TPropertyKey propkey;
    std::int32_t direction = 0;

    friend bool operator==(const SORTCOLUMN&, const SORTCOLUMN&) = default;
};

enum class TKivViewStyle
{
    vmIcon,
    vmSmallIcon,
    vmList,
    vmDetails,
    vmThumbnail,
    vmTile,
    vmContent,
    // The view decides.
    vmAuto,
};

// How the shell list keeps the view settings of the folders it shows.
enum class TKivPersistViewSettings
{
    None,                    // TNoPersistViewSettings
    Temporary,               // TPerSpecialFolderViewSettings
    Persistent,              // TKivViewSettingsPropertyBag, one bag per folder
    PersistentSpecialFolder, // TKivViewSettingsPropertyBag, ordinary folders share one bag
};

// A key is valid when it names a property set.
inline bool IsValidPropertyKey(const TPropertyKey& pKey)
{
    return !pKey.FormatId.isNull();
}

class IKivViewSettings
{
public:
    virtual ~IKivViewSettings() = default;

    virtual int GetFolderFlags() const = 0;
    virtual TShellColumnId GetGroupBy() const = 0;
    virtual bool GetGroupByDirection() const = 0;
    virtual bool GetGroupView() const = 0;
    virtual int GetViewIconSize() const = 0;
    virtual SORTCOLUMN GetSortColumns() const = 0;
    virtual TKivViewStyle GetViewMode() const = 0;
    virtual void SetFolderFlags(int pValue) = 0;
    virtual void SetGroupBy(const TShellColumnId& pValue) = 0;
    virtual void SetGroupByDirection(bool pValue) = 0;
    virtual void SetGroupView(bool pValue) = 0;
    virtual void SetViewIconSize(int pValue) = 0;
    virtual void SetSortColumns(const SORTCOLUMN& pValue) = 0;
    // The key of GetSortColumns.
    virtual TShellColumnId GetSortColumnId() const = 0;
    // Keeps the direction, replaces the key.
    virtual void SetSortColumnId(const TShellColumnId& pValue) = 0;
    // -1 when the stored direction is -1, else 1.
    virtual int GetSortDirection() const = 0;
    // 1 or -1; anything else raises EInvalidArgument "Unsupported sort order".
    virtual void SetSortDirection(int pValue) = 0;
    virtual void SetViewMode(TKivViewStyle pValue) = 0;
    // Opens the settings of pFolderIdList under the bag name pName (the property bag kinds use
    // it). False for no folder, which leaves the previous one open.
    virtual bool Open(const IItemIdListPtr& pFolderIdList, const QString& pName) = 0;
    // The report columns of the opened folder, the Name column first.
    virtual std::vector<TColumnInfo> ReadColumnInfo() = 0;
    virtual void WriteColumnInfo(const std::vector<TColumnInfo>& pColumns) = 0;
};

using IKivViewSettingsPtr = std::shared_ptr<IKivViewSettings>;

// What every kind shares: the folder opened, the column provider, the sort column check after
// opening and the column order. Remembers nothing itself: getters give the defaults, setters
// are ignored.
class TKivBaseViewSettings : public IKivViewSettings
{
public:
    // pColumnProvider: null for the default provider.
    explicit TKivBaseViewSettings(IKivShellColumnProviderPtr pColumnProvider = {});

    int GetFolderFlags() const override { return 0; }
    TShellColumnId GetGroupBy() const override { return {}; }
    bool GetGroupByDirection() const override { return false; }
    bool GetGroupView() const override { return false; }
    int GetViewIconSize() const override { return 0; }
    SORTCOLUMN GetSortColumns() const override { return {}; }
    TKivViewStyle GetViewMode() const override { return TKivViewStyle::vmAuto; }
    void SetFolderFlags(int) override {}
    void SetGroupBy(const TShellColumnId&) override {}
    void SetGroupByDirection(bool) override {}
    void SetGroupView(bool) override {}
    void SetViewIconSize(int) override {}
    void SetSortColumns(const SORTCOLUMN&) override {}
    TShellColumnId GetSortColumnId() const override;
    void SetSortColumnId(const TShellColumnId& pValue) override;
    int GetSortDirection() const override;
    void SetSortDirection(int pValue) override;
    void SetViewMode(TKivViewStyle) override {}
    bool Open(const IItemIdListPtr& pFolderIdList, const QString& pName) final;
    std::vector<TColumnInfo> ReadColumnInfo() override;
    void WriteColumnInfo(const std::vector<TColumnInfo>&) override {}

    const IItemIdListPtr& FolderIdList() const { return fFolderIdList; }
    const IKivShellColumnProviderPtr& ColumnProvider() const { return fColumnProvider; }

    // Moves the Name column (shell index 0) to the front, the others keeping their order.
    static void MoveNameFirst(std::vector<TColumnInfo>& pColumns);
    // A folder is an archive when its path ends with ".zip", in any letter case.
    static bool IsArchiveFolder(const IItemIdListPtr& pFolder);

protected:
    // Opens the kind's own store for pFolder (not null); runs before the sort check.
    virtual void OpenFolder(const IItemIdListPtr& pFolder, const QString& pName);
    // Whether the sort column can be set after opening (a kind without a store cannot).
    virtual bool CanKeepSortColumn() const { return true; }
    // The provider's visible columns of the opened folder, in the provider's order.
    std::vector<TColumnInfo> ProviderColumns() const;

    IKivShellColumnProviderPtr fColumnProvider;
    IItemIdListPtr fFolderIdList;
};

// One sort order for every folder, kept while the object lives; columns are the provider's.
class TNoPersistViewSettings : public TKivBaseViewSettings
{
public:
    using TKivBaseViewSettings::TKivBaseViewSettings;

    SORTCOLUMN GetSortColumns() const override { return fSortColumn; }
    void SetSortColumns(const SORTCOLUMN& pValue) override { fSortColumn = pValue; }

private:
    SORTCOLUMN fSortColumn;
};

// Sort orders and columns per special folder, in memory: all ordinary folders share one slot,
// so sorting one sorts them all; archives keep an order of their own.
class TPerSpecialFolderViewSettings : public TKivBaseViewSettings
{
public:
    explicit TPerSpecialFolderViewSettings(IKivShellColumnProviderPtr pColumnProvider = {});

    SORTCOLUMN GetSortColumns() const override;
    void SetSortColumns(const SORTCOLUMN& pValue) override;
    std::vector<TColumnInfo> ReadColumnInfo() override;
    void WriteColumnInfo(const std::vector<TColumnInfo>& pColumns) override;

    TKivShellFolder SpecialFolder() const { return fSpecialFolder; }

protected:
    void OpenFolder(const IItemIdListPtr& pFolder, const QString& pName) override;

private:
    std::size_t Slot() const;
    // Columns are remembered for known special folders only: not for archives, libraries and
    // servers, whose columns differ from folder to folder.
    bool MayRememberColumns(const IItemIdListPtr& pFolder) const;

    TKivShellFolder fSpecialFolder = TKivShellFolder::SF_UNKNOWN;
    bool fArchive = false;
    bool fRememberColumns = false;
    std::array<SORTCOLUMN, kKivShellFolderCount> fSortColumns{};
    std::array<std::vector<TColumnInfo>, kKivShellFolderCount> fColumns;
    SORTCOLUMN fZipSortOrder;
};

// The kind PersistViewSettings asks for; pColumnProvider null for the default provider.
IKivViewSettingsPtr CreateViewSettings(TKivPersistViewSettings pKind,
                                       IKivShellColumnProviderPtr pColumnProvider = {});

} // namespace kiv
