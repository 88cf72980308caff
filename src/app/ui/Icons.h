// The window's pictures, drawn rather than loaded: they stay sharp at any size and the program
// needs no image files or image plug-ins to show them.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace vx::icons {

QIcon AddFile();
QIcon RemoveFile();
QIcon ClearAll();
QIcon StopConvert();
QIcon GoConvert();
QIcon Folder();
QIcon Play();
QIcon Pause();
QIcon Stop();
// The program's own icon (the installed vantorix.svg shows the same picture).
QIcon Application();
// The 10 x 10 picture that switches between the simple and the advanced settings.
QPixmap ViewSwitch();

} // namespace vx::icons
