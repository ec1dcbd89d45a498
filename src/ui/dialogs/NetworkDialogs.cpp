#include "NetworkDialogs.h"

#include "core/platform/IDialogs.h"
#include "core/platform/UiDispatcher.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace kiv {

TConnectDialog::TConnectDialog(pf::INetwork& pNetwork, const QString& pRemote, std::uint32_t pFlags,
                               QWidget* pParent)
    : QDialog(pParent)
    , fNetwork(pNetwork)
    , fFolder(new QComboBox(this))
    , fUser(new QLineEdit(this))
    , fDomain(new QLineEdit(this))
    , fPassword(new QLineEdit(this))
    , fReconnect(new QCheckBox(QStringLiteral("Reconnect at sign-in"), this))
    , fStatus(new QLabel(this))
    , fButtons(new QDialogButtonBox(QDialogButtonBox::Cancel, this))
{
    setWindowTitle(QStringLiteral("Connect Network Drive"));
    // A read-only path needs a path, and then the recent list has nothing to offer.
    fReadOnlyPath = (pFlags & pf::conndlg::CONNDLG_RO_PATH) && !pRemote.isEmpty();
    const bool useRecent = (pFlags & pf::conndlg::CONNDLG_USE_MRU) && !fReadOnlyPath;

    fFolder->setEditable(true);
    fFolder->setInsertPolicy(QComboBox::NoInsert);
    fFolder->setMinimumWidth(360);
    if (useRecent)
        fFolder->addItems(fNetwork.RecentRemotes());
    fFolder->setEditText(pRemote);
    fFolder->lineEdit()->setReadOnly(fReadOnlyPath);
    fPassword->setEchoMode(QLineEdit::Password);
    fReconnect->setChecked(pFlags & pf::conndlg::CONNDLG_PERSIST);
    fStatus->setWordWrap(true);
    fStatus->setTextFormat(Qt::PlainText);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        new QLabel(QStringLiteral("Specify the network folder to connect to:"), this));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Folder:"), fFolder);
    form->addRow(QString(), new QLabel(QStringLiteral("Example: \\\\server\\share, "
                                                      "smb://server/share, sftp://host/folder"),
                                       this));
    form->addRow(QStringLiteral("User name:"), fUser);
    form->addRow(QStringLiteral("Domain:"), fDomain);
    form->addRow(QStringLiteral("Password:"), fPassword);
    layout->addLayout(form);
    layout->addWidget(fReconnect);
    layout->addWidget(fStatus);
    layout->addWidget(fButtons);
    QPushButton* connect =
        fButtons->addButton(QStringLiteral("Connect"), QDialogButtonBox::AcceptRole);
    connect->setDefault(true);
    QObject::connect(fButtons, &QDialogButtonBox::accepted, this, [this] { Connect(); });
    QObject::connect(fButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

TConnectDialog::~TConnectDialog()
{
    // A mount still running is cancelled; the join waits only for the program to be killed.
    fWorker.request_stop();
}

void TConnectDialog::SetBusy(bool pBusy)
{
    for (QWidget* widget :
         std::initializer_list<QWidget*>{fFolder, fUser, fDomain, fPassword, fReconnect})
        widget->setEnabled(!pBusy);
    for (QAbstractButton* button : fButtons->buttons())
        if (fButtons->buttonRole(button) == QDialogButtonBox::AcceptRole)
            button->setEnabled(!pBusy);
}

void TConnectDialog::Connect()
{
    const QString remote = pf::RemotePathToUri(fFolder->currentText());
    if (remote.isEmpty()) {
        fStatus->setText(QStringLiteral("Enter a network location such as \\\\server\\share, "
                                        "smb://server/share or sftp://host/folder."));
        return;
    }
    SetBusy(true);
    fStatus->setText(QStringLiteral("Connecting to %1...").arg(remote));
    const pf::TNetworkCredentials credentials{fUser->text(), fDomain->text(), fPassword->text()};
    fWorker = std::jthread([network = &fNetwork, remote, credentials,
                            guard = QPointer<TConnectDialog>(this)](std::stop_token pStop) {
        QString mountPath;
        QString message;
        const std::uint32_t result = network->Mount(remote, credentials, pStop, mountPath, message);
        pf::Ui().Post([guard, result, mountPath, message, remote] {
            if (guard)
                guard->Finished(result, mountPath, message, remote);
        });
    });
}

void TConnectDialog::Finished(std::uint32_t pResult, const QString& pMountPath,
                              const QString& pMessage, const QString& pRemote)
{
    SetBusy(false);
    if (pResult != 0) {
        fStatus->setText(pMessage.isEmpty()
                             ? QStringLiteral("The network folder could not be connected.")
                             : pMessage);
        return;
    }
    fNetwork.RememberRemote(pRemote, fReconnect->isChecked());
    fMountPath = pMountPath;
    accept();
}

TDisconnectDialog::TDisconnectDialog(pf::INetwork& pNetwork, QWidget* pParent)
    : QDialog(pParent)
    , fNetwork(pNetwork)
    , fList(new QListWidget(this))
    , fStatus(new QLabel(QStringLiteral("Looking for network shares..."), this))
    , fButtons(new QDialogButtonBox(QDialogButtonBox::Cancel, this))
{
    setWindowTitle(QStringLiteral("Disconnect Network Drives"));
    fStatus->setWordWrap(true);
    fStatus->setTextFormat(Qt::PlainText);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Select the network share to disconnect:"), this));
    layout->addWidget(fList);
    layout->addWidget(fStatus);
    layout->addWidget(fButtons);
    QPushButton* disconnect =
        fButtons->addButton(QStringLiteral("Disconnect"), QDialogButtonBox::AcceptRole);
    disconnect->setEnabled(false);
    QObject::connect(fButtons, &QDialogButtonBox::accepted, this, [this] { Disconnect(); });
    QObject::connect(fButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    QObject::connect(fList, &QListWidget::currentRowChanged, disconnect,
                     [disconnect](int pRow) { disconnect->setEnabled(pRow >= 0); });
    // The list may need a hung network daemon's answer: read on the worker.
    fWorker = std::jthread([network = &fNetwork, guard = QPointer<TDisconnectDialog>(this)] {
        std::vector<pf::TNetworkMount> mounts = network->NetworkMounts();
        pf::Ui().Post([guard, mounts = std::move(mounts)]() mutable {
            if (guard)
                guard->Listed(std::move(mounts));
        });
    });
}

TDisconnectDialog::~TDisconnectDialog() = default;

void TDisconnectDialog::Listed(std::vector<pf::TNetworkMount> pMounts)
{
    fMounts = std::move(pMounts);
    for (const pf::TNetworkMount& mount : fMounts)
        fList->addItem(mount.Remote.isEmpty()
                           ? mount.Path
                           : QStringLiteral("%1 (%2)").arg(mount.Remote, mount.Path));
    fStatus->setText(fMounts.empty() ? QStringLiteral("There are no network shares to disconnect.")
                                     : QString());
}

void TDisconnectDialog::Disconnect()
{
    const int row = fList->currentRow();
    if (row < 0 || row >= int(fMounts.size()))
        return;
    fList->setEnabled(false);
    for (QAbstractButton* button : fButtons->buttons())
        if (fButtons->buttonRole(button) == QDialogButtonBox::AcceptRole)
            button->setEnabled(false);
    fStatus->setText(QStringLiteral("Disconnecting..."));
    fWorker = std::jthread([network = &fNetwork, mount = fMounts[std::size_t(row)],
                            guard = QPointer<TDisconnectDialog>(this)] {
        QString message;
        const std::uint32_t result = network->Unmount(mount, message);
        pf::Ui().Post([guard, result, message] {
            if (guard)
                guard->Finished(result, message);
        });
    });
}

void TDisconnectDialog::Finished(std::uint32_t pResult, const QString& pMessage)
{
    if (pResult == 0) {
        accept();
        return;
    }
    fList->setEnabled(true);
    for (QAbstractButton* button : fButtons->buttons())
        button->setEnabled(true);
    fStatus->setText(pMessage.isEmpty() ? QStringLiteral("The share could not be disconnected.")
                                        : pMessage);
}

} // namespace kiv
