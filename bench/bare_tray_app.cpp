// The reference for the tray benchmark: the least a Qt Widgets program in the panel is, a
// QApplication with one QSystemTrayIcon that never changes and a menu to quit it.
#include <QAction>
#include <QApplication>
#include <QColor>
#include <QIcon>
#include <QMenu>
#include <QPixmap>
#include <QSystemTrayIcon>

int main(int argc, char** argv) {
  const QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  QPixmap square(22, 22);
  square.fill(QColor(0xF0, 0x90, 0x20));
  QMenu menu;
  QObject::connect(menu.addAction(QStringLiteral("Quit")), &QAction::triggered, &app,
                   &QApplication::quit);
  QSystemTrayIcon tray{QIcon(square)};
  tray.setToolTip(QStringLiteral("bare tray app"));
  tray.setContextMenu(&menu);
  tray.show();
  return QApplication::exec();
}
