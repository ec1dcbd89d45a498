#pragma once

// Completion of paths typed into an edit: a model a completer can use (QCompleter filters its
// rows by the typed prefix), filled with the entries of the folder the typed text names. Listing
// a folder may block (network mounts), so it happens on a worker; the entries arrive on the
// user-interface thread. Only the folder part of the text matters: typing within one folder
// lists it once.
//
// The model lives on the user-interface thread. ListFolder may be called from any thread.

#include "core/shell/ShellControlHelper.h"

#include <QStringListModel>

#include <functional>
#include <memory>

namespace kiv {

class CancellationToken;

class TShellAutoCompleteModel final : public QStringListModel
{
public:
    // acoFolderOnly lists folders only; acoFileSystem (or an empty set) also files. Places
    // outside the file system (URLs, virtual folders) are not offered here.
    explicit TShellAutoCompleteModel(TKivShellAutoCompleteOptions pOptions = {},
                                     QObject* pParent = nullptr);
    ~TShellAutoCompleteModel() override;

    // The text typed so far ("/home/user/Doc"): the entries of its folder ("/home/user/") as
    // full paths. A text without a folder part empties the model.
    void SetText(const QString& pText);
    // The folder listed (or being listed); empty when none.
    const QString& Folder() const { return fFolder; }

    // Called on the user-interface thread after the model received a folder's entries.
    std::function<void(TShellAutoCompleteModel& pSender)> OnFilled;

    // The entries of pFolder (a path ending with "/") as full paths, sorted ignoring case;
    // hidden entries left out. Empty when the folder cannot be listed or pCancelled says so.
    static QStringList ListFolder(const QString& pFolder, bool pFoldersOnly,
                                  const std::function<bool()>& pCancelled = {});

private:
    TKivShellAutoCompleteOptions fOptions;
    QString fFolder;
    std::unique_ptr<CancellationToken> fCancel;
};

} // namespace kiv
