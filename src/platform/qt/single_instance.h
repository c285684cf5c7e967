#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <optional>
#include <string>

#include "platform/local_socket.h"

class QSocketNotifier;

namespace pulsewell {

// One running program per desktop login. The first start listens on a local socket
// named after the application identifier, the user and the display; a later start finds
// it there and hands over its request instead of running a second tray entry. Both sides
// deal only with processes of the same user (SO_PEERCRED): another user's listener is not
// taken for the running instance, and another user's requests go unanswered.
//
// Requests are one line each: "settings" (open the settings window) and "status" (the
// entry's current accessibility label, for `pulsewell --status`).
class SingleInstance : public QObject {
  Q_OBJECT

 public:
  static constexpr const char* settingsRequest = "settings";
  static constexpr const char* statusRequest = "status";

  // instance-<display>, plus a digest of $XDG_CONFIG_HOME when that is not the standard
  // ~/.config, in a folder only this user can enter: $XDG_RUNTIME_DIR/<application id>,
  // else <temporary folder>/<application id>-<uid>. Where another user holds those names
  // or the path would not fit a socket address, a name in the abstract namespace, marked
  // by a leading '@'.
  static QString defaultServerPath();

  // `serverPath`: a socket path, or '@' and a name in the abstract namespace.
  explicit SingleInstance(QString serverPath, QObject* parent = nullptr);
  ~SingleInstance() override;
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // True when this process is the one instance: nobody answered at the path, so it now
  // listens there (or, if even listening fails, runs unguarded rather than not at all).
  // False when another instance answers.
  bool claim();
  bool isListening() const;

  // The running instance's one-line reply to `request`, or none when none answers
  // within `timeoutMs`.
  static std::optional<QString> ask(const QString& serverPath, const QString& request,
                                    int timeoutMs);

  // Supplies the reply to "status".
  void setStatusProvider(std::function<QString()> provider);

 Q_SIGNALS:
  void settingsRequested();

 private:
  class Connection;

  void acceptWaiting();
  void answer(const LocalSocket& client, const std::string& request);

  QString path_;
  LocalSocket listener_;
  QSocketNotifier* listening_ = nullptr;
  std::function<QString()> status_;
};

}  // namespace pulsewell
