#include "LinuxClipboard.h"

#include "core/platform/DataObject.h"
#include "core/shell/ClipboardFiles.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QThread>

#include <memory>

namespace kiv::pf::lnx {

namespace {

const QString kUriList = QStringLiteral("text/uri-list");
const QString kGnomeCopiedFiles = QStringLiteral("x-special/gnome-copied-files");
const QString kKdeCutSelection = QStringLiteral("application/x-kde-cutselection");
const QString kShellIdListArray = QStringLiteral("application/x-tovaline-shell-idlist-array");
const QString kFileGroupDescriptor = QStringLiteral("application/x-tovaline-file-group-descriptor");

// The clipboard, when this thread may use it; otherwise the reason why not.
HResult OpenClipboard(QClipboard*& pClipboard)
{
    pClipboard = nullptr;
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!app)
        return CLIPBRD_E_CANT_OPEN;
    if (QThread::currentThread() != app->thread())
        return RPC_E_WRONG_THREAD;
    pClipboard = QGuiApplication::clipboard();
    return pClipboard ? S_OK : CLIPBRD_E_CANT_OPEN;
}

} // namespace

QMimeData* MimeDataFromDataObject(IDataObject& pData)
{
    auto mime = std::make_unique<QMimeData>();
    QByteArray bytes;
    if (Succeeded(pData.GetData(ClipFormat::HDrop, bytes))) {
        const QStringList paths = TClipboardFiles::ParseDropFiles(bytes);
        QByteArray effect;
        const bool cut = Succeeded(pData.GetData(ClipFormat::PreferredDropEffect, effect)) &&
                         (DropEffectFromBytes(effect) & DROPEFFECT_MOVE) != 0;
        mime->setData(kUriList, TClipboardFiles::BuildUriList(paths));
        mime->setData(kGnomeCopiedFiles, TClipboardFiles::BuildGnomeCopiedFiles({paths, cut}));
        mime->setData(kKdeCutSelection, cut ? "1" : "0");
        // Text editors paste the paths.
        mime->setText(paths.join(u'\n'));
    }
    if (Succeeded(pData.GetData(ClipFormat::ShellIdListArray, bytes)))
        mime->setData(kShellIdListArray, bytes);
    if (Succeeded(pData.GetData(ClipFormat::FileGroupDescriptorW, bytes)))
        mime->setData(kFileGroupDescriptor, bytes);
    if (Succeeded(pData.GetData(ClipFormat::UnicodeText, bytes)))
        mime->setText(TextFromBytes(bytes));
    return mime.release();
}

IDataObjectPtr DataObjectFromMimeData(const QMimeData& pMime, const TUriToPath& pOther)
{
    auto data = std::make_shared<TDataObject>();
    std::optional<bool> cut;
    QStringList paths;
    if (pMime.hasFormat(kGnomeCopiedFiles)) {
        const TCopiedFiles copied =
            TClipboardFiles::ParseGnomeCopiedFiles(pMime.data(kGnomeCopiedFiles), pOther);
        paths = copied.Paths;
        cut = copied.Cut;
    } else if (pMime.hasFormat(kUriList)) {
        paths = TClipboardFiles::ParseUriList(pMime.data(kUriList), pOther);
    }
    if (pMime.hasFormat(kKdeCutSelection))
        cut = cut.value_or(false) || pMime.data(kKdeCutSelection).startsWith('1');
    if (!paths.isEmpty()) {
        data->SetData(ClipFormat::HDrop, TClipboardFiles::BuildDropFiles(paths));
        if (cut)
            data->SetData(ClipFormat::PreferredDropEffect,
                          DropEffectToBytes(*cut ? DROPEFFECT_MOVE : DROPEFFECT_COPY));
    }
    if (pMime.hasFormat(kShellIdListArray))
        data->SetData(ClipFormat::ShellIdListArray, pMime.data(kShellIdListArray));
    if (pMime.hasFormat(kFileGroupDescriptor))
        data->SetData(ClipFormat::FileGroupDescriptorW, pMime.data(kFileGroupDescriptor));
    if (pMime.hasText())
        data->SetData(ClipFormat::UnicodeText, TextToBytes(pMime.text()));
    return data;
}

HResult TLinuxClipboard::SetText(const QString& pText)
{
    QClipboard* clipboard = nullptr;
    if (const HResult hr = OpenClipboard(clipboard); Failed(hr))
        return hr;
    clipboard->setText(pText);
    return S_OK;
}

HResult TLinuxClipboard::GetText(QString& pText)
{
    QClipboard* clipboard = nullptr;
    if (const HResult hr = OpenClipboard(clipboard); Failed(hr))
        return hr;
    const QMimeData* mime = clipboard->mimeData();
    if (!mime || !mime->hasText())
        return DV_E_FORMATETC;
    pText = mime->text();
    return S_OK;
}

HResult TLinuxClipboard::SetDataObject(const IDataObjectPtr& pData)
{
    if (!pData)
        return E_INVALIDARG;
    QClipboard* clipboard = nullptr;
    if (const HResult hr = OpenClipboard(clipboard); Failed(hr))
        return hr;
    clipboard->setMimeData(MimeDataFromDataObject(*pData));
    return S_OK;
}

HResult TLinuxClipboard::GetDataObject(IDataObjectPtr& pData)
{
    pData.reset();
    QClipboard* clipboard = nullptr;
    if (const HResult hr = OpenClipboard(clipboard); Failed(hr))
        return hr;
    const QMimeData* mime = clipboard->mimeData();
    pData = mime ? DataObjectFromMimeData(*mime) : std::make_shared<TDataObject>();
    return S_OK;
}

bool TLinuxClipboard::HasFormat(ClipFormat pFormat)
{
    IDataObjectPtr data;
    return Succeeded(GetDataObject(data)) && data && Succeeded(data->QueryGetData(pFormat));
}

HResult TLinuxClipboard::Empty()
{
    QClipboard* clipboard = nullptr;
    if (const HResult hr = OpenClipboard(clipboard); Failed(hr))
        return hr;
    clipboard->clear();
    return S_OK;
}

} // namespace kiv::pf::lnx
