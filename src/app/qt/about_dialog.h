#pragma once

#include <QDialog>

namespace pulsewell {

// The about panel: name, icon, version and the contact line with its mail link.
class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr const char* contactAddress = "hello@pulsewell.org";

  explicit AboutDialog(QWidget* parent = nullptr);

  // "Contact: " (German "Kontakt: ") and the address as a mail link, as rich text; the
  // plain address when no link can be formed.
  static QString contactLine();
};

}  // namespace pulsewell
