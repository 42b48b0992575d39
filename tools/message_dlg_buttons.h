#pragma once
// MessageDlgButtons: the standard message box with button captions the caller chooses. When a
// caption needs more room than a standard button gives, every button takes the width of the
// widest caption and the row is laid out anew from the box's left edge.

#include <QString>
#include <QStringList>

#include <vector>

#include "tools/dialogs.h"

namespace tools {

// Width of a standard button; captions up to this width (with their allowance) fit.
constexpr int kStandardButtonWidth = 75;
// Added to the width of a caption's text.
constexpr int kCaptionAllowance = 12;
// Left edge of the first button inside the box, and the space between two buttons.
constexpr int kButtonRowLeft = 12;
constexpr int kButtonSpacing = 6;
// Added to the row of buttons for the box's outer width.
constexpr int kButtonRowFrame = 30;

// The row of buttons the widening rule gives.
struct ButtonRow {
  int widest = kStandardButtonWidth;  // width of every button when widened
  bool widened = false;               // false: standard widths and positions stay
  int dialogWidth = 0;                // outer width of the box
  std::vector<int> lefts;             // left edge of each button inside the box, when widened
};

// `textWidths`: the width of each button's caption text, 0 for a button that keeps its standard
// caption; `dialogWidth`: the box's width as the standard box is built.
ButtonRow LayOutButtonRow(const std::vector<int>& textWidths, int dialogWidth);

// Asks `message` in the standard box of `type` with `buttons`, giving the buttons the captions
// in button order (an empty text keeps the standard caption; extra texts are ignored). Too few
// captions are refused with an error box and answer 0; otherwise the modal result of the button
// that closed the box.
int MessageDlgButtons(const QString& message, MsgDlgType type, unsigned buttons,
                      const QStringList& captions);

}  // namespace tools
