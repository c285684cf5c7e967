#include "platform/qt/qt_translation.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QKeySequence>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QStringList>
#include <memory>
#include <string>

#include "private_bus.h"

namespace pulsewell {
namespace {

// The entries of a text field's own context menu, without mnemonics and shortcuts.
QStringList contextMenuEntries() {
  QLineEdit field;
  const std::unique_ptr<QMenu> menu(field.createStandardContextMenu());
  QStringList entries;
  for (const QAction* action : menu->actions()) {
    if (!action->isSeparator()) {
      entries << action->text().section(QLatin1Char('\t'), 0, 0).remove(QLatin1Char('&'));
    }
  }
  return entries;
}

QString closeButtonText() {
  const QDialogButtonBox buttons(QDialogButtonBox::Close);
  return buttons.button(QDialogButtonBox::Close)->text();
}

struct LanguageCase {
  const char* name;
  bool german;
  QStringList contextMenu;
  QString close;
  QString shortcut;
};

// The case as its test name shows it.
void PrintTo(const LanguageCase& c, std::ostream* out) {
  *out << c.name;
}

class QtTexts : public ::testing::TestWithParam<LanguageCase> {
 protected:
  void SetUp() override {
    const QString catalogue =
        QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_de.qm");
    if (!QFileInfo::exists(catalogue)) {
      if (test::inCi()) FAIL() << catalogue.toStdString() << " is missing";
      GTEST_SKIP() << "Qt's German translation is not installed (apt-get install "
                      "qt6-translations-l10n)";
    }
    // The locale is German in both cases: only the program's language decides.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  }
  void TearDown() override { QLocale::setDefault(previous_); }

 private:
  QLocale previous_;
};

TEST_P(QtTexts, FollowTheProgramsLanguage) {
  const LanguageCase& c = GetParam();
  const QString englishShortcut =
      QKeySequence(Qt::CTRL | Qt::Key_W).toString(QKeySequence::NativeText);
  {
    const QtTranslation translation(c.german);
    EXPECT_EQ(translation.isInstalled(), c.german);
    EXPECT_EQ(contextMenuEntries(), c.contextMenu);
    EXPECT_EQ(closeButtonText(), c.close);
    EXPECT_EQ(QKeySequence(Qt::CTRL | Qt::Key_W).toString(QKeySequence::NativeText), c.shortcut);
  }
  EXPECT_EQ(closeButtonText(), "Close") << "English again once it is gone";
  EXPECT_EQ(QKeySequence(Qt::CTRL | Qt::Key_W).toString(QKeySequence::NativeText), englishShortcut);
}

INSTANTIATE_TEST_SUITE_P(
    Languages, QtTexts,
    ::testing::Values(LanguageCase{"english",
                                   false,
                                   {"Undo", "Redo", "Cut", "Copy", "Paste", "Delete", "Select All"},
                                   "Close",
                                   "Ctrl+W"},
                      LanguageCase{"german",
                                   true,
                                   {"Rückgängig", "Wiederherstellen", "Ausschneiden", "Kopieren",
                                    "Einfügen", "Löschen", "Alles auswählen"},
                                   "Schließen",
                                   "Strg+W"}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace pulsewell
