#pragma once

#include <QTranslator>

namespace pulsewell {

// Qt's own texts — standard buttons, a text field's context menu, key names in shortcuts —
// in the program's language. Qt shows them in English unless a translation is installed,
// so the German program installs Debian's German Qt translation (qt6-translations-l10n)
// for as long as this lives; the English program installs none, whatever the system's
// locale says. Construct after the application object.
class QtTranslation {
 public:
  explicit QtTranslation(bool german);
  ~QtTranslation();
  QtTranslation(const QtTranslation&) = delete;
  QtTranslation& operator=(const QtTranslation&) = delete;

  // Whether Qt's texts are German; false for English, and for German when the translation
  // is not installed (Qt's English texts then stay).
  bool isInstalled() const { return installed_; }

 private:
  QTranslator translator_;
  bool installed_ = false;
};

}  // namespace pulsewell
