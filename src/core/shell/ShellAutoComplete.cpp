#include "core/shell/ShellAutoComplete.h"

#include "core/platform/INamespace.h"
#include "core/platform/IPlatform.h"
#include "core/platform/ShellConstants.h"
#include "core/threading/KivThreading.h"

#include <QPointer>

#include <algorithm>

namespace kiv {

TShellAutoCompleteModel::TShellAutoCompleteModel(TKivShellAutoCompleteOptions pOptions,
                                                 QObject* pParent)
    : QStringListModel(pParent)
    , fOptions(pOptions)
    , fCancel(std::make_unique<CancellationToken>())
{
}

TShellAutoCompleteModel::~TShellAutoCompleteModel()
{
    fCancel->Cancel();
}

void TShellAutoCompleteModel::SetText(const QString& pText)
{
    const qsizetype slash = pText.lastIndexOf(u'/');
    const QString folder = slash < 0 ? QString() : pText.left(slash + 1);
    if (folder == fFolder)
        return;
    // A new folder: what was being listed for the old one is no longer wanted.
    fCancel->Cancel();
    fCancel = std::make_unique<CancellationToken>();
    fFolder = folder;
    setStringList({});
    if (folder.isEmpty() || !folder.startsWith(u'/'))
        return;
    const bool foldersOnly = fOptions.Contains(TKivShellAutoCompleteOption::acoFolderOnly) &&
                             !fOptions.Contains(TKivShellAutoCompleteOption::acoFileSystem);
    const ICancellationTokenPtr token = fCancel->Token();
    auto entries = std::make_shared<QStringList>();
    QPointer<TShellAutoCompleteModel> self(this);
    TAsyncProcedure::CreateAndQueue(
        [folder, foldersOnly, token, entries] {
            *entries = ListFolder(folder, foldersOnly,
                                  [token] { return token->IsCancellationRequested(); });
        },
        token,
        [self, folder, token, entries] {
            if (!self || token->IsCancellationRequested() || self->fFolder != folder)
                return;
            self->setStringList(*entries);
            if (self->OnFilled)
                self->OnFilled(*self);
        });
}

QStringList TShellAutoCompleteModel::ListFolder(const QString& pFolder, bool pFoldersOnly,
                                                const std::function<bool()>& pCancelled)
{
    if (!pf::HasPlatform() || !pFolder.endsWith(u'/'))
        return {};
    pf::INamespace& ns = pf::Platform().Namespace();
    const QString path = pFolder.size() > 1 ? pFolder.chopped(1) : pFolder;
    pf::IdListBytes list;
    pf::IShellFolderPtr folder;
    if (pf::Failed(ns.Desktop()->ParseDisplayName(nullptr, nullptr, path, list, nullptr)) ||
        pf::Failed(ns.BindToFolder(pf::IdSpan(list), folder)) || !folder)
        return {};
    const std::uint32_t flags =
        pf::shcontf::FOLDERS | (pFoldersOnly ? 0u : pf::shcontf::NONFOLDERS);
    pf::IEnumIDListPtr items;
    if (folder->EnumObjects(nullptr, flags, items) != pf::S_OK || !items)
        return {};
    QStringList entries;
    pf::IdListBytes item;
    while (items->Next(item) == pf::S_OK) {
        if (pCancelled && pCancelled())
            return {};
        QString name;
        if (pf::Failed(folder->GetDisplayNameOf(pf::IdSpan(item),
                                                pf::shgdn::INFOLDER | pf::shgdn::FORPARSING, name)))
            continue;
        entries << pFolder + name;
    }
    std::sort(entries.begin(), entries.end(), [](const QString& pA, const QString& pB) {
        return pA.compare(pB, Qt::CaseInsensitive) < 0;
    });
    return entries;
}

} // namespace kiv
