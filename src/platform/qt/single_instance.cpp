#include "platform/qt/single_instance.h"

#include <unistd.h>

#include <QByteArray>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QTimer>
#include <utility>

#include "traffic/application_identifier.h"

namespace pulsewell {

namespace {

// Requests are short commands; anything longer is not one of ours.
constexpr qsizetype requestLimit = 64;
constexpr qsizetype replyLimit = 4096;
// A client that connects and says nothing is dropped after this.
constexpr int clientTimeoutMs = 2000;
// How long a start waits for another start racing it through claim().
constexpr int claimLockTimeoutMs = 3000;
constexpr int aliveProbeTimeoutMs = 500;

QString displayName() {
  QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
  if (display.isEmpty()) display = qEnvironmentVariable("DISPLAY");
  if (display.isEmpty()) display = QStringLiteral("none");
  // Keep the name a plain file name: ":0" becomes "_0", a path loses its slashes.
  for (QChar& c : display) {
    const bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                       (c >= u'0' && c <= u'9') || c == u'.' || c == u'-';
    if (!plain) c = u'_';
  }
  return display;
}

// A second settings folder is a second profile (the demo runs one beside the user's own):
// it gets an instance of its own.
QString profileSuffix() {
  const QString config = QDir::cleanPath(qEnvironmentVariable("XDG_CONFIG_HOME"));
  const QString standard = QDir::cleanPath(QDir::homePath() + QStringLiteral("/.config"));
  if (config.isEmpty() || config == QStringLiteral(".") || config == standard) return {};
  const QByteArray digest =
      QCryptographicHash::hash(config.toUtf8(), QCryptographicHash::Sha256).toHex().left(12);
  return u'-' + QString::fromLatin1(digest);
}

QByteArray firstLine(QByteArray text) {
  const qsizetype end = text.indexOf('\n');
  if (end >= 0) text.truncate(end);
  return text.trimmed();
}

}  // namespace

QString SingleInstance::defaultServerPath() {
  QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
  const QFileInfo info(folder);
  if (folder.isEmpty() || !info.isDir() || !info.isWritable()) folder = QDir::tempPath();
  return folder + u'/' + QString::fromLatin1(applicationIdentifier) + u'-' +
         QString::number(::getuid()) + u'-' + displayName() + profileSuffix();
}

SingleInstance::SingleInstance(QString serverPath, QObject* parent)
    : QObject(parent), path_(std::move(serverPath)) {}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::claim() {
  if (server_ != nullptr) return true;
  // Two starts at the same moment must not both decide the socket is stale.
  QLockFile lock(path_ + QStringLiteral(".lock"));
  lock.tryLock(claimLockTimeoutMs);

  {
    QLocalSocket probe;
    probe.connectToServer(path_);
    if (probe.waitForConnected(aliveProbeTimeoutMs)) return false;
  }

  // Nobody answers: whatever lies at the path is left from an instance that ended.
  QLocalServer::removeServer(path_);
  auto* server = new QLocalServer(this);
  server->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server->listen(path_)) {
    delete server;
    return true;
  }
  server_ = server;
  connect(server_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* socket = server_->nextPendingConnection())
      serve(socket);
  });
  return true;
}

bool SingleInstance::isListening() const {
  return server_ != nullptr && server_->isListening();
}

void SingleInstance::setStatusProvider(std::function<QString()> provider) {
  status_ = std::move(provider);
}

void SingleInstance::serve(QLocalSocket* socket) {
  connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
  connect(socket, &QLocalSocket::readyRead, this, [this, socket] { answer(socket); });
  auto* deadline = new QTimer(socket);
  deadline->setSingleShot(true);
  connect(deadline, &QTimer::timeout, socket, &QLocalSocket::abort);
  deadline->start(clientTimeoutMs);
  if (socket->bytesAvailable() > 0) answer(socket);
}

void SingleInstance::answer(QLocalSocket* socket) {
  if (!socket->canReadLine()) {
    if (socket->bytesAvailable() > requestLimit) socket->abort();
    return;
  }
  const QByteArray request = firstLine(socket->readLine(requestLimit + 1));
  bool openSettings = false;
  QByteArray reply;
  if (request == settingsRequest) {
    reply = "ok";
    openSettings = true;
  } else if (request == statusRequest) {
    QString status = status_ ? status_() : QString();
    status.replace(u'\n', u' ');
    reply = status.toUtf8();
  } else {
    reply = "unknown request";
  }
  socket->write(reply + '\n');
  socket->flush();
  socket->disconnectFromServer();
  if (openSettings) Q_EMIT settingsRequested();
}

std::optional<QString> SingleInstance::ask(const QString& serverPath, const QString& request,
                                           int timeoutMs) {
  const QDeadlineTimer deadline(timeoutMs);
  QLocalSocket socket;
  socket.connectToServer(serverPath);
  if (!socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) return std::nullopt;
  socket.write(request.toUtf8() + '\n');
  if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) return std::nullopt;

  QByteArray reply;
  while (!reply.contains('\n') && reply.size() <= replyLimit) {
    if (socket.bytesAvailable() == 0 &&
        !socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
      break;
    }
    reply += socket.read(replyLimit + 1 - reply.size());
  }
  if (!reply.contains('\n')) return std::nullopt;
  return QString::fromUtf8(firstLine(reply));
}

}  // namespace pulsewell
