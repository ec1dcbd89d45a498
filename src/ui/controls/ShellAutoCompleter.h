#pragma once

// Path completion on a line edit: a completer over the namespace model, kept told of what the
// user types. Widgets only; the listing itself happens on a worker
// (core/shell/ShellAutoComplete.h).

#include "core/shell/ShellControlHelper.h"

class QLineEdit;

namespace kiv {

class TShellAutoCompleteModel;

// Gives pEdit a completer of paths with pOptions (an empty set: files and folders, suggestions
// popping up). The completer and its model belong to pEdit (Qt parent tree). False for a null
// edit. Calling it again replaces the earlier completer.
bool EnableAutoComplete(QLineEdit* pEdit, TKivShellAutoCompleteOptions pOptions);
// The model behind an edit's completer; null when EnableAutoComplete was not called on it.
TShellAutoCompleteModel* AutoCompleteModelOf(QLineEdit* pEdit);

} // namespace kiv
