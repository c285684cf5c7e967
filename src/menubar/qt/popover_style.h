#pragma once

#include <QColor>
#include <QFont>

class QWidget;

// Colours and type of the popover, from the application's palette and system font.
namespace pulsewell::PopoverStyle {

// The system green and orange of the palette's appearance, opaque.
QColor green();
QColor orange();
// Text of lesser importance: the label colour, dimmed.
QColor secondary();

// Headline 13 pixels bold; captions 10 pixels.
QFont headline();
QFont caption();
QFont caption2();
// The large rates: 18 pixels, semibold, digits of one width.
QFont rate();
// Caption size with digits of one width, for the totals.
QFont captionDigits();

// Sets the text colour of `widget` (and its children).
void setTextColour(QWidget& widget, const QColor& colour);

}  // namespace pulsewell::PopoverStyle
