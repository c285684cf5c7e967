#include "menubar/qt/system_number_locale.h"

#include <QLocale>

namespace pulsewell {

NumberLocale systemNumberLocale() {
  const QString separator = QLocale::system().decimalPoint();
  if (separator.isEmpty()) return {};
  return NumberLocale{.decimalSeparator = separator.toStdString()};
}

}  // namespace pulsewell
