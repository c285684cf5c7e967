#include "app/qt/settings_interface_row.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include "menubar/qt/popover_style.h"
#include "menubar/strings.h"
#include "platform/qt/qt_conversions.h"
#include "traffic/display_safe_text.h"

namespace pulsewell {

namespace {

constexpr int verticalPadding = 4;
constexpr int horizontalPadding = 6;

QLabel* passiveLabel(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  // Clicks anywhere on the row belong to the row.
  label->setAttribute(Qt::WA_TransparentForMouseEvents);
  return label;
}

}  // namespace

SettingsInterfaceRow::SettingsInterfaceRow(const SNMPInterface& interface, bool german,
                                           QWidget* parent)
    : QAbstractButton(parent), name_(interface.name) {
  setObjectName(QStringLiteral("interfaceRow"));
  setCheckable(true);
  const QString shownName = toQString(displaySafe(interface.name));
  setText(shownName);  // the accessible name; the labels draw it
  setCursor(Qt::PointingHandCursor);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(horizontalPadding, verticalPadding, horizontalPadding,
                             verticalPadding);
  auto* mark =
      passiveLabel(interface.isUp ? QStringLiteral("\u25CF") : QStringLiteral("\u25CB"), this);
  mark->setObjectName(QStringLiteral("stateMark"));
  PopoverStyle::setTextColour(*mark,
                              interface.isUp ? PopoverStyle::green() : PopoverStyle::secondary());
  auto* nameLabel = passiveLabel(shownName, this);
  nameLabel->setObjectName(QStringLiteral("interfaceName"));
  nameLabel->setTextFormat(Qt::PlainText);
  // A long name is cut at the list's edge rather than widening the list.
  nameLabel->setMinimumWidth(1);
  // What the interface can be measured with: a row without counters shows no traffic.
  const QString countersText = toQString(Strings::counters(interface.counters, german));
  setAccessibleDescription(countersText);
  auto* counters = passiveLabel(countersText, this);
  counters->setObjectName(QStringLiteral("counters"));
  PopoverStyle::setTextColour(*counters, PopoverStyle::secondary());
  checkmark_ = passiveLabel(QStringLiteral("\u2713"), this);
  checkmark_->setObjectName(QStringLiteral("checkmark"));
  // Its place is kept on every row, so that the counters line up.
  QSizePolicy keepsItsPlace = checkmark_->sizePolicy();
  keepsItsPlace.setRetainSizeWhenHidden(true);
  checkmark_->setSizePolicy(keepsItsPlace);
  checkmark_->setVisible(false);

  layout->addWidget(mark);
  layout->addWidget(nameLabel);
  layout->addStretch(1);
  layout->addWidget(counters);
  layout->addWidget(checkmark_);
}

void SettingsInterfaceRow::setChosen(bool chosen) {
  if (isChecked() == chosen) return;
  setChecked(chosen);
  checkmark_->setVisible(chosen);
}

void SettingsInterfaceRow::paintEvent(QPaintEvent* /*event*/) {
  // A plain row: no frame or highlight, only the keyboard focus is drawn.
  if (!hasFocus()) return;
  QPainter painter(this);
  QStyleOptionFocusRect option;
  option.initFrom(this);
  style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
}

}  // namespace pulsewell
