#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class QLineEdit;
class QListWidget;

namespace kiv {

// One application the chooser offers.
struct TApplicationChoice
{
    // What the caller starts it by (a desktop-file id).
    QString Id;
    QString Name;
    // A theme icon name or an icon file; empty for none.
    QString Icon;
};

// "Choose Another Application": the applications for the file type first, then all the others,
// with a box that filters both by name. Double-clicking an application or pressing Open chooses
// it; OnChosen then starts it (the dialog itself starts nothing). User-interface thread only;
// shown with open() or show(), deleted by its opener.
class TApplicationChooser final : public QDialog
{
    Q_OBJECT

public:
    // pSubject names what is opened ("notes.txt", "3 files"). pRecommended in their order,
    // pOthers as given (by name); an application in both is listed once, recommended.
    TApplicationChooser(const QString& pSubject, std::vector<TApplicationChoice> pRecommended,
                        std::vector<TApplicationChoice> pOthers, QWidget* pParent = nullptr);

    // The ids of the applications listed now, top to bottom (the filter applied).
    QStringList ShownIds() const;
    // Selects the application with pId when it is listed; false otherwise.
    bool Select(const QString& pId);
    QLineEdit* FilterBox() const { return fFilter; }

    std::function<void(TApplicationChooser& pSender, const QString& pId)> OnChosen;

public slots:
    void accept() override;

private:
    void ApplyFilter(const QString& pText);

    QLineEdit* fFilter = nullptr;
    QListWidget* fList = nullptr;
};

} // namespace kiv
