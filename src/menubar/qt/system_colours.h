#pragma once

#include <QColor>

// The system colours every view draws with, one value for a light and one for a dark
// appearance, so the panel, the popover and the settings window agree.
namespace pulsewell::SystemColours {

// Whether the application's palette is dark: its window colour is.
bool darkPalette();

QColor green(bool dark);
QColor orange(bool dark);
QColor red(bool dark);

}  // namespace pulsewell::SystemColours
