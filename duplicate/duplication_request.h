#pragma once
// The duplication request behind the main window's "Tabelle dublizieren": asks whether to copy
// the records or only create the table, then runs a fresh progress dialog for the answer.

#include "duplicate/duplication_source.h"

class QWidget;

namespace duplicate {

class TDlgProgress;

// The progress dialog of the request under way; null otherwise.
extern TDlgProgress* DlgProgress;

// Asks the question and, unless it is cancelled, duplicates the source's table through a new
// progress dialog, which is released afterwards also when a failure leaves it.
void ButtonCopyTableClick(const DuplicationSource& source, QWidget* parent);

}  // namespace duplicate
