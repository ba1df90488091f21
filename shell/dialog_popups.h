// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A dialog that is kept and shown again (the file dialogs) keeps its name
// completer. Its file list goes on loading after the dialog has closed, and
// the completer then shows its suggestions again: a popup over the main
// window that takes the next click for itself. While the dialog is hidden
// its completers are detached from their fields, so nothing of it stays.

class QDialog;

namespace corvane {

void keepPopupsWithDialog(QDialog* dialog);

} // namespace corvane
