#pragma once

class QMainWindow;

namespace tarvik {

// Text fields take some Ctrl keys for their own editing (Ctrl+E moves to the end of the line),
// which would swallow the window's menu keys while one of them has focus. From here on the
// window's text fields leave its menu keys to the menu, but for those that edit text (copy,
// paste, undo, select all).
void keepMenuKeysWindowWide(QMainWindow& window);

} // namespace tarvik
