#pragma once
// Opening a password-protected table from a window: the password is asked for in a small
// dialog through the dialog seam and kept in the table component only.

class QWidget;

namespace engine {
class TTable;
}

namespace tools {

// Opens `table` (named and closed). A password-protected table asks "Kennwort für Tabelle
// „NAME“:" (masked, OK/Abbrechen) until the password is right, after a wrong one with a note
// saying so. Abbrechen leaves the table closed without a password and raises engine::EAbort,
// which ends the command without a message. Other failures of Open pass unchanged.
void OpenTableAskingPassword(engine::TTable& table, QWidget* parent);

}  // namespace tools
