#pragma once
// The main window's images, drawn in code so that the program needs no image files.

#include <QIcon>
#include <QPixmap>

namespace app {

// Positions in the toolbar's image list of eight 16 x 16 icons.
enum ToolbarIcon : int {
  kIconOpen = 0, kIconInfo = 1, kIconEdit = 2, kIconMemo = 3, kIconCopy = 4,
  kIconRecordCount = 5, kIconBlockSize = 6, kIconRefresh = 7,
};
inline constexpr int kToolbarIconCount = 8;
inline constexpr int kToolbarIconSize = 16;

// The icon at a position of the image list; a null pixmap for a position outside 0..7.
QPixmap toolbarPixmap(int index);
QIcon toolbarIcon(int index);
// The glyph of the small search button: an arrow pointing right, 10 x 10 pixels.
QIcon searchGlyph();

}  // namespace app
