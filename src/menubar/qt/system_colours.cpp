#include "menubar/qt/system_colours.h"

#include <QGuiApplication>
#include <QPalette>

namespace pulsewell::SystemColours {

bool darkPalette() {
  return QGuiApplication::palette().color(QPalette::Window).lightness() < 128;
}

QColor green(bool dark) {
  return dark ? QColor(0x30, 0xD1, 0x58) : QColor(0x34, 0xC7, 0x59);
}

QColor orange(bool dark) {
  return dark ? QColor(0xFF, 0x9F, 0x0A) : QColor(0xFF, 0x95, 0x00);
}

QColor red(bool dark) {
  return dark ? QColor(0xFF, 0x45, 0x3A) : QColor(0xE0, 0x25, 0x1B);
}

}  // namespace pulsewell::SystemColours
