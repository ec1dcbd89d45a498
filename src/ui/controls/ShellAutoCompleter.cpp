#include "ui/controls/ShellAutoCompleter.h"

#include "core/shell/ShellAutoComplete.h"

#include <QCompleter>
#include <QLineEdit>

namespace kiv {

bool EnableAutoComplete(QLineEdit* pEdit, TKivShellAutoCompleteOptions pOptions)
{
    if (!pEdit)
        return false;
    if (QCompleter* old = pEdit->completer()) {
        pEdit->setCompleter(nullptr);
        old->deleteLater();
    }
    auto* completer = new QCompleter(pEdit);
    auto* model = new TShellAutoCompleteModel(pOptions, completer);
    completer->setModel(model);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    completer->setCompletionMode(QCompleter::PopupCompletion);
    pEdit->setCompleter(completer);
    QObject::connect(pEdit, &QLineEdit::textEdited, model,
                     [model](const QString& pText) { model->SetText(pText); });
    // Entries of another folder arrive after the typed text: show them as soon as they are in.
    model->OnFilled = [completer, pEdit](TShellAutoCompleteModel&) {
        if (pEdit->hasFocus())
            completer->complete();
    };
    return true;
}

TShellAutoCompleteModel* AutoCompleteModelOf(QLineEdit* pEdit)
{
    QCompleter* completer = pEdit ? pEdit->completer() : nullptr;
    return completer ? dynamic_cast<TShellAutoCompleteModel*>(completer->model()) : nullptr;
}

} // namespace kiv
