#pragma once

// View settings kept in the platform's per-folder view state store: a bag of named values per
// folder and bag name, with the same keys and binary layouts ("Sort", "ColInfo") that other
// tools reading such a store expect. A folder's settings live in a bag typed by what the folder
// holds (generic, documents, pictures, music, videos); when that bag cannot be had, the user's
// defaults are used, then the system's.
//
// Threads: the view's thread only. The store itself is the platform's and writes its file in
// the background.

#include "core/platform/IViewState.h"
#include "core/views/KivViewSettings.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace kiv {

enum class TKivPropertyBagViewTemplate
{
    Generic,
    Documents,
    Pictures,
    Music,
    Videos,
};

enum class TKivPropertyBagLocation
{
    UserDefaults,
    SystemDefaults,
};

// The binary values of a bag. Little-endian throughout; a property key is its format id in the
// published field layout (16 bytes) and its property id (4 bytes).
namespace viewstream {
// "Sort": a 32-bit count, then that many 24-byte records (key, 32-bit direction). Writing
// stores one record.
QByteArray EncodeSort(const SORTCOLUMN& pColumn);
// The first record; nullopt when there is none or the bytes are damaged.
std::optional<SORTCOLUMN> DecodeSort(const QByteArray& pBytes);

struct TColumnWidth
{
    TPropertyKey Key;
    std::uint32_t Width = 0; // pixels at 96 dpi

    friend bool operator==(const TColumnWidth&, const TColumnWidth&) = default;
};
// "ColInfo": a 24-byte header (0xFDDFDFFD, 16, ten zero bytes, the count, the record size 24),
// then per column the key and the width.
QByteArray EncodeColInfo(const std::vector<TColumnWidth>& pColumns);
// nullopt when the bytes are damaged (another header, records running past the end).
std::optional<std::vector<TColumnWidth>> DecodeColInfo(const QByteArray& pBytes);
} // namespace viewstream

// The values of one bag as view settings; what the bag does not hold reads as the defaults.
class TKivCustomViewStatePropertyBag : public TKivBaseViewSettings
{
public:
    explicit TKivCustomViewStatePropertyBag(IKivShellColumnProviderPtr pColumnProvider = {});

    int GetFolderFlags() const override;
    TShellColumnId GetGroupBy() const override;
    bool GetGroupByDirection() const override;
    bool GetGroupView() const override;
    int GetViewIconSize() const override;
    SORTCOLUMN GetSortColumns() const override;
    TKivViewStyle GetViewMode() const override;
    // Writing before a bag was opened raises EInvalidOperation.
    void SetFolderFlags(int pValue) override;
    void SetGroupBy(const TShellColumnId& pValue) override;
    void SetGroupByDirection(bool pValue) override;
    void SetGroupView(bool pValue) override;
    void SetViewIconSize(int pValue) override;
    void SetSortColumns(const SORTCOLUMN& pValue) override;
    // vmAuto is not stored.
    void SetViewMode(TKivViewStyle pValue) override;
    std::vector<TColumnInfo> ReadColumnInfo() override;
    // An empty array writes nothing.
    void WriteColumnInfo(const std::vector<TColumnInfo>& pColumns) override;

    // Opens the user's or the system's defaults bag (named pName, "Shell" when empty) directly,
    // to read or change the defaults every folder starts from. False when it cannot be opened.
    bool OpenDefaults(TKivPropertyBagLocation pLocation, const QString& pName = {});

    TKivPropertyBagViewTemplate ViewTemplate() const { return fViewTemplate; }
    // The name of the bag in use (without the folder type).
    const QString& Name() const { return fName; }
    bool HasPropertyBag() const { return fPropertyBag != nullptr; }

    static QString ViewTemplateName(TKivPropertyBagViewTemplate pTemplate);
    // The system's folder type id of a template, braced.
    static QString FolderTypeId(TKivPropertyBagViewTemplate pTemplate);

protected:
    void OpenFolder(const IItemIdListPtr& pFolder, const QString& pName) override;
    // Without any bag there is nowhere to keep the sort column checked after opening.
    bool CanKeepSortColumn() const override { return fPropertyBag != nullptr; }
    // The folder whose bag is opened for pFolder.
    virtual IItemIdListPtr BagFolder(const IItemIdListPtr& pFolder) const { return pFolder; }

private:
    pf::BagValue Read(const QString& pName) const;
    void Write(const QString& pName, const pf::BagValue& pValue);
    int ReadInt(const QString& pName, int pDefault) const;
    bool ReadBool(const QString& pName) const;

    TKivPropertyBagViewTemplate fViewTemplate = TKivPropertyBagViewTemplate::Generic;
    QString fName = QStringLiteral("Shell");
    pf::IPropertyBagPtr fPropertyBag;
};

// The property bag kind the shell list uses: one bag per folder, or (pPerSpecialFolder) one bag
// that all ordinary folders share — the bag of the temporary folder — while special folders,
// archives and libraries keep their own.
class TKivViewSettingsPropertyBag : public TKivCustomViewStatePropertyBag
{
public:
    explicit TKivViewSettingsPropertyBag(bool pPerSpecialFolder,
                                         IKivShellColumnProviderPtr pColumnProvider = {});

    bool PerSpecialFolder() const { return fPerSpecialFolder; }

protected:
    IItemIdListPtr BagFolder(const IItemIdListPtr& pFolder) const override;

private:
    bool fPerSpecialFolder;
};

} // namespace kiv
