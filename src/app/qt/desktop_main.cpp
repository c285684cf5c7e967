#include "app/qt/desktop_main.h"

#include <malloc.h>

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QPixmapCache>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "app/exit_status.h"
#include "app/qt/app_delegate.h"
#include "menubar/qt/router_menu_bar_graph.h"
#include "menubar/qt/status_item.h"
#include "menubar/strings.h"
#include "platform/json_defaults_store.h"
#include "platform/qt/qt_conversions.h"
#include "platform/qt/qt_main_queue.h"
#include "platform/qt/qt_translation.h"
#include "platform/qt/single_instance.h"
#include "platform/qt/termination_signals.h"
#include "platform/secret_store_choice.h"
#include "platform/xdg_autostart_login_item.h"
#include "pulsewell_version.h"
#include "traffic/application_identifier.h"
#include "traffic/display_safe_text.h"
#include "traffic/secret_store.h"

namespace pulsewell {

namespace {

constexpr int askTimeoutMs = 3000;

void printLine(std::FILE* stream, const std::string& text) {
  std::fputs(text.c_str(), stream);
  std::fputc('\n', stream);
}

bool hasDisplay() {
  for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(variable);  // NOLINT(concurrency-mt-unsafe): one thread yet
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

// `pulsewell --status`: what the running program's panel entry says, for scripts and for
// people whose panel shows no tooltip.
int printStatus(int argc, char** argv) {
  const QCoreApplication app(argc, argv);
  const std::optional<QString> reply =
      SingleInstance::ask(SingleInstance::defaultServerPath(),
                          QString::fromLatin1(SingleInstance::statusRequest), askTimeoutMs);
  if (!reply) {
    printLine(stderr, Strings::text("Pulsewell is not running.", "Pulsewell läuft nicht."));
    return exitFailure;
  }
  // The reply is another process's text: it must not drive the terminal.
  printLine(stdout, displaySafe(toStdString(*reply)));
  return exitSuccess;
}

void describeApplication() {
  QCoreApplication::setApplicationName(QStringLiteral("Pulsewell"));
  QCoreApplication::setOrganizationName(QStringLiteral("Pulsewell"));
  QCoreApplication::setOrganizationDomain(QStringLiteral("pulsewell.org"));
  QCoreApplication::setApplicationVersion(QString::fromLatin1(version));
  QGuiApplication::setDesktopFileName(QString::fromLatin1(applicationIdentifier));
  // An accessory: no main window, and closing the last window does not end it.
  QApplication::setQuitOnLastWindowClosed(false);
  QIcon icon;
  for (const int size : {16, 32, 64}) {
    icon.addPixmap(QPixmap::fromImage(
        RouterMenuBarGraph::routerSymbol(size, qGuiApp->devicePixelRatio(), true)));
  }
  QGuiApplication::setWindowIcon(icon);
  // An XEmbed tray draws each new icon through Qt's global pixmap cache, which would keep
  // hours of old icons up to its 10 MB default; a few hundred kilobytes hold what is shown.
  QPixmapCache::setCacheLimit(512);
}

}  // namespace

int runDesktop(int argc, char** argv, std::optional<std::chrono::milliseconds> interval) {
  // The few threads of a tray program allocate little; one arena for all of them keeps
  // memory that one thread freed from staying resident for it alone.
  mallopt(M_ARENA_MAX, 1);  // NOLINT(concurrency-mt-unsafe): no other thread yet
  if (argc == 2 && std::string_view(argv[1]) == "--status") return printStatus(argc, argv);
  if (!hasDisplay()) {
    printLine(stderr, Strings::text("pulsewell: no desktop to show the panel entry on (DISPLAY and "
                                    "WAYLAND_DISPLAY are not set). In a terminal, try "
                                    "'pulsewell watch'.",
                                    "pulsewell: kein Desktop für den Eintrag im Panel (DISPLAY "
                                    "und WAYLAND_DISPLAY sind nicht gesetzt). Im Terminal: "
                                    "'pulsewell watch'."));
    return exitFailure;
  }

  const QApplication app(argc, argv);
  // Qt has taken its own options (-platform, -display …); anything left is not ours.
  const QStringList rest = QCoreApplication::arguments().mid(1);
  if (!rest.isEmpty()) {
    printLine(stderr,
              Strings::text("pulsewell: unknown option '", "pulsewell: unbekannte Option '") +
                  toStdString(rest.front()) +
                  Strings::text("'. Try 'pulsewell --help'.", "'. Hilfe: 'pulsewell --help'."));
    return exitUsage;
  }
  describeApplication();
  // Qt's own texts (the About dialog's button, the fields' context menu) in our language.
  const QtTranslation qtTexts(Strings::german());
  // Logout and Ctrl+C end the program as Quit does.
  const TerminationSignals termination;
  QObject::connect(&termination, &TerminationSignals::received, qApp, &QCoreApplication::quit);

  SingleInstance instance(SingleInstance::defaultServerPath());
  if (!instance.claim()) {
    // Already running for this desktop: that one opens its settings window instead.
    SingleInstance::ask(SingleInstance::defaultServerPath(),
                        QString::fromLatin1(SingleInstance::settingsRequest), askTimeoutMs);
    return exitSuccess;
  }

  const auto mainQueue = std::make_shared<QtMainQueue>();
  int status = 0;
  {
    AppDelegate::Environment environment{
        .mainQueue = mainQueue,
        .defaults = std::make_shared<JsonDefaultsStore>(),
        .secrets = std::shared_ptr<SecretStore>(loadSystemSecretStore()),
        .loginItem = std::make_shared<XdgAutostartLoginItem>(),
    };
    if (interval) environment.interval = *interval;
    AppDelegate delegate(std::move(environment));
    QObject::connect(&instance, &SingleInstance::settingsRequested, &delegate,
                     &AppDelegate::showSettings);
    instance.setStatusProvider([&delegate] {
      return delegate.statusItem() != nullptr ? delegate.statusItem()->accessibilityLabel()
                                              : QString();
    });
    delegate.applicationDidFinishLaunching();
    status = QCoreApplication::exec();
    instance.setStatusProvider({});
  }
  // The service has stopped its workers; from here on whatever they post is dropped, so
  // one still waiting for a reply cannot reach objects that are gone.
  mainQueue->close();
  return status;
}

}  // namespace pulsewell
