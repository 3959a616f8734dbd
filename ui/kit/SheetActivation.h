#pragma once

class QDialog;

namespace lunorvale {

// Keeps the keys on a window-modal dialog (a sheet, or an alert over one) for as long as it is shown.
// A window manager may activate the window the dialog blocks: when another window of the program goes
// away (an alert over the sheet), or at a click on it. That window takes no keys, so Escape and Return
// would be lost; the dialog takes the activation back, after the window manager is done, unless
// something is shown over the dialog itself.
void keepActivation(QDialog& dialog);

} // namespace lunorvale
