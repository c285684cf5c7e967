#include "platform/qt/qt_translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QString>

namespace pulsewell {

QtTranslation::QtTranslation(bool german) {
  // Qt Base's catalogue covers every module the program uses (Core, Gui, Widgets, D-Bus).
  installed_ = german &&
               translator_.load(QStringLiteral("qtbase_de"),
                                QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
               QCoreApplication::installTranslator(&translator_);
}

QtTranslation::~QtTranslation() {
  if (installed_) QCoreApplication::removeTranslator(&translator_);
}

}  // namespace pulsewell
