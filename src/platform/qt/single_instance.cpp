#include "platform/qt/single_instance.h"

#include <unistd.h>

#include <QByteArray>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStringList>
#include <QTimer>
#include <optional>
#include <utility>

#include "platform/peer_user.h"
#include "platform/private_folder.h"
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
// sun_path holds 108 bytes with the terminating NUL.
constexpr qsizetype socketPathLimit = 107;
// A display name longer than this (a path in WAYLAND_DISPLAY) is shortened to a digest.
constexpr qsizetype displayNameLimit = 32;
// Marks a name in the abstract socket namespace.
constexpr QChar abstractMarker = u'@';

QString digest(const QString& text) {
  return QString::fromLatin1(
      QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256).toHex().left(12));
}

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
  return display.size() > displayNameLimit ? digest(display) : display;
}

// A second settings folder is a second profile (the demo runs one beside the user's own):
// it gets an instance of its own.
QString profileSuffix() {
  const QString config = QDir::cleanPath(qEnvironmentVariable("XDG_CONFIG_HOME"));
  const QString standard = QDir::cleanPath(QDir::homePath() + QStringLiteral("/.config"));
  if (config.isEmpty() || config == QStringLiteral(".") || config == standard) return {};
  return u'-' + digest(config);
}

// What Qt is given to listen on or connect to.
struct Address {
  QString name;
  bool abstract = false;
};

Address addressOf(const QString& serverPath) {
  if (serverPath.startsWith(abstractMarker)) return {serverPath.mid(1), true};
  return {serverPath, false};
}

void connectTo(QLocalSocket& socket, const Address& address) {
  if (address.abstract) socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
  socket.connectToServer(address.name);
}

QByteArray firstLine(QByteArray text) {
  const qsizetype end = text.indexOf('\n');
  if (end >= 0) text.truncate(end);
  return text.trimmed();
}

}  // namespace

QString SingleInstance::defaultServerPath() {
  const QString identifier = QString::fromLatin1(applicationIdentifier);
  const QString user = QString::number(::geteuid());
  const QString name = QStringLiteral("instance-") + displayName() + profileSuffix();
  QStringList folders;
  if (const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
      QDir::isAbsolutePath(runtime)) {
    folders.append(runtime + u'/' + identifier);
  }
  folders.append(QDir::tempPath() + u'/' + identifier + u'-' + user);
  for (const QString& folder : folders) {
    QString path = folder + u'/' + name;
    if (QFile::encodeName(path).size() <= socketPathLimit &&
        ensurePrivateFolder(QFile::encodeName(folder).toStdString())) {
      return path;
    }
  }
  // Another user holds the folders' names, or the paths are too long for a socket: the
  // abstract namespace has no files to plant, and every peer's user is checked.
  return abstractMarker + u'/' + identifier + u'-' + user + u'/' + name;
}

SingleInstance::SingleInstance(QString serverPath, QObject* parent)
    : QObject(parent), path_(std::move(serverPath)) {}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::claim() {
  if (server_ != nullptr) return true;
  const Address address = addressOf(path_);
  // Two starts at the same moment must not both decide the socket is stale.
  std::optional<QLockFile> lock;
  if (!address.abstract) {
    lock.emplace(path_ + QStringLiteral(".lock"));
    lock->tryLock(claimLockTimeoutMs);
  }

  {
    QLocalSocket probe;
    connectTo(probe, address);
    // Only an instance of this user's is handed over to; anyone else's listener there is
    // a squatter, not a reason to stay away.
    if (probe.waitForConnected(aliveProbeTimeoutMs) &&
        peerIsThisUser(static_cast<int>(probe.socketDescriptor()))) {
      return false;
    }
  }

  // Nobody of ours answers: whatever lies at the path is left from an instance that ended.
  if (!address.abstract) QLocalServer::removeServer(path_);
  auto* server = new QLocalServer(this);
  server->setSocketOptions(address.abstract ? QLocalServer::AbstractNamespaceOption
                                            : QLocalServer::UserAccessOption);
  if (!server->listen(address.name)) {
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
  // Other users get no answer: neither the status nor a window of this session.
  if (!peerIsThisUser(static_cast<int>(socket->socketDescriptor()))) {
    socket->abort();
    socket->deleteLater();
    return;
  }
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
  connectTo(socket, addressOf(serverPath));
  if (!socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) return std::nullopt;
  // Whatever another user's listener says is not our instance's answer.
  if (!peerIsThisUser(static_cast<int>(socket.socketDescriptor()))) return std::nullopt;
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
