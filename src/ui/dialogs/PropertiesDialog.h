#pragma once

#include "core/platform/FindData.h"
#include "core/platform/HResult.h"
#include "core/platform/IFileSystem.h"
#include "core/platform/IdList.h"

#include <QDialog>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <stop_token>
#include <vector>

class QCheckBox;
class QFormLayout;
class QLabel;

namespace kiv {

// The properties of one or several items: name, type, location, size and what folders contain,
// the dates, and owner, group and permissions (shown, not edited).
//
// Everything that touches the disk runs on a worker thread of the dialog's own (a folder on a
// dead network mount may take minutes or never answer): the dialog opens at once with what it
// knows, fills in the rest as it arrives and updates the totals while a tree is walked. Closing
// (or deleting) the dialog cancels the walk; the worker is never waited for, it only notices the
// cancellation between entries and delivers nothing any more. User-interface thread only; the
// hook of the context menus makes one per "properties" command (deleted when closed).
class TPropertiesDialog final : public QDialog
{
    Q_OBJECT

public:
    // Adds up everything below a folder; pStopped is asked between entries. The platform's
    // walk (which does not follow links) unless a test gives another.
    using TTreeSum = std::function<pf::HResult(
        const QString& pFolder, const std::function<bool()>& pStopped, pf::TreeTotals& pTotals)>;

    // pItems: absolute item lists. Starts gathering at once.
    explicit TPropertiesDialog(std::vector<pf::IdListBytes> pItems, QWidget* pParent = nullptr,
                               TTreeSum pTreeSum = {});
    ~TPropertiesDialog() override;

    // The totals so far: files and their bytes, and folders. For one folder its content; for
    // several items the items themselves too.
    const pf::TreeTotals& Totals() const { return fTotals; }
    // True until the totals are complete (or the walk was stopped).
    bool Calculating() const { return fCalculating; }
    // The text of a field ("name", "type", "location", "size", "contains", "created",
    // "modified", "accessed", "owner", "group", "permissions"): what the user reads there.
    QString FieldText(const QString& pField) const;

    // Workers of every properties dialog still running (tests: a closed dialog's ends).
    static int RunningWalks();

    TPropertiesDialog(const TPropertiesDialog&) = delete;
    TPropertiesDialog& operator=(const TPropertiesDialog&) = delete;

signals:
    // The totals are complete.
    void TotalsDone();

protected:
    void done(int pResult) override;

private:
    struct TFacts;
    struct TWalk;

    // The worker: looks at the items, then walks the folders among them.
    static void Gather(std::vector<pf::IdListBytes> pItems, TTreeSum pTreeSum,
                       std::stop_token pStop, QPointer<TPropertiesDialog> pDialog);
    void BuildWidgets();
    void ApplyFacts(const TFacts& pFacts);
    void ApplyTotals(const pf::TreeTotals& pTotals, bool pDone);
    void Stop() noexcept;

    std::shared_ptr<TWalk> fWalk;
    pf::TreeTotals fTotals;
    bool fCalculating = true;
    int fItemCount = 0;
    QFormLayout* fForm = nullptr;
    QLabel* fSizeStatus = nullptr;
    QCheckBox* fBits[9] = {};
};

} // namespace kiv
