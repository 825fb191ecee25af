#pragma once

#include <QIcon>
#include <QPixmap>

namespace fernpad::app {

// The small pictures of the main window and the tray icon, drawn at run time.
QPixmap PadPicture();
QPixmap PointerPicture();
QPixmap PhotoPicture();
QIcon TrayPicture();

}  // namespace fernpad::app
