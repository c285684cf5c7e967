#include "menubar/qt/popover_style.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QPalette>
#include <QWidget>

#include "menubar/qt/router_menu_bar_graph.h"
#include "menubar/qt/system_colours.h"

namespace pulsewell::PopoverStyle {

namespace {

// The type sizes are those of a platform where a point is a pixel at scale 1, so they are
// pixel sizes here; Qt scales them with the screen's device-pixel ratio. Sized in points,
// they grew by a third at 96 dots per inch and the rates no longer fit the fixed width.
QFont systemFont(int pixels, QFont::Weight weight) {
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPixelSize(pixels);
  font.setWeight(weight);
  return font;
}

// The menu-bar value font has already been chosen for digits of one width; the popover
// takes its family at other sizes so its numbers do not jitter either.
QFont digitsFont(int pixels, QFont::Weight weight) {
  QFont font = RouterMenuBarGraph::valueFont();
  font.setPixelSize(pixels);
  font.setWeight(weight);
  return font;
}

}  // namespace

QColor green() {
  return SystemColours::green(SystemColours::darkPalette());
}

QColor orange() {
  return SystemColours::orange(SystemColours::darkPalette());
}

QColor secondary() {
  QColor colour = QGuiApplication::palette().color(QPalette::WindowText);
  colour.setAlphaF(0.6F);
  return colour;
}

QFont headline() {
  return systemFont(13, QFont::Bold);
}
QFont caption() {
  return systemFont(10, QFont::Normal);
}
QFont caption2() {
  return systemFont(10, QFont::Normal);
}
QFont rate() {
  return digitsFont(18, QFont::DemiBold);
}
QFont captionDigits() {
  return digitsFont(10, QFont::Normal);
}

void setTextColour(QWidget& widget, const QColor& colour) {
  QPalette palette = widget.palette();
  palette.setColor(QPalette::WindowText, colour);
  palette.setColor(QPalette::ButtonText, colour);
  widget.setPalette(palette);
}

}  // namespace pulsewell::PopoverStyle
