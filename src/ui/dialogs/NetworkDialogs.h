#pragma once

#include "core/platform/INetwork.h"

#include <QDialog>

#include <functional>
#include <thread>

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QListWidget;

namespace kiv {

// Connects a network share: a remote path ("\\server\share", "smb://server/share",
// "sftp://host/folder"), optional credentials, "Reconnect at sign-in". The mount runs on a worker
// of the dialog; a failure is shown in the dialog, which stays open for another try. User-interface
// thread only; the network service outlives the dialog.
class TConnectDialog final : public QDialog
{
public:
    TConnectDialog(pf::INetwork& pNetwork, const QString& pRemote, std::uint32_t pFlags,
                   QWidget* pParent);
    ~TConnectDialog() override;

    // Where the share was mounted, after an accepted dialog.
    QString MountPath() const { return fMountPath; }

    // Starts connecting what the dialog shows (the Connect button).
    void Connect();

private:
    void Finished(std::uint32_t pResult, const QString& pMountPath, const QString& pMessage,
                  const QString& pRemote);
    void SetBusy(bool pBusy);

    pf::INetwork& fNetwork;
    QComboBox* fFolder;
    QLineEdit* fUser;
    QLineEdit* fDomain;
    QLineEdit* fPassword;
    QCheckBox* fReconnect;
    QLabel* fStatus;
    QDialogButtonBox* fButtons;
    QString fMountPath;
    bool fReadOnlyPath = false;
    // The mount in progress; stopped and joined when the dialog goes.
    std::jthread fWorker;
};

// Lists the mounted network shares and disconnects the chosen one. The list is read and the
// share unmounted on a worker of the dialog. User-interface thread only.
class TDisconnectDialog final : public QDialog
{
public:
    TDisconnectDialog(pf::INetwork& pNetwork, QWidget* pParent);
    ~TDisconnectDialog() override;

    // Disconnects the selected share (the Disconnect button).
    void Disconnect();
    QListWidget* List() const { return fList; }

private:
    void Listed(std::vector<pf::TNetworkMount> pMounts);
    void Finished(std::uint32_t pResult, const QString& pMessage);

    pf::INetwork& fNetwork;
    QListWidget* fList;
    QLabel* fStatus;
    QDialogButtonBox* fButtons;
    std::vector<pf::TNetworkMount> fMounts;
    std::jthread fWorker;
};

} // namespace kiv
