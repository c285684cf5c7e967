#include "platform/qt/single_instance.h"

#include <unistd.h>

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QSocketNotifier>
#include <QStringList>
#include <QTimer>
#include <chrono>
#include <optional>
#include <utility>

#include "platform/peer_user.h"
#include "platform/private_folder.h"
#include "traffic/application_identifier.h"

namespace pulsewell {

namespace {

using Clock = std::chrono::steady_clock;

// Requests are short commands; anything longer is not one of ours.
constexpr std::size_t requestLimit = 64;
constexpr std::size_t replyLimit = 4096;
// A client that connects and says nothing is dropped after this.
constexpr int clientTimeoutMs = 2000;
// The reply fits the socket's buffer; a client that reads nothing does not hold us longer.
constexpr std::chrono::milliseconds replyTimeout{200};
// How long a start waits for another start racing it through claim().
constexpr int claimLockTimeoutMs = 3000;
constexpr std::chrono::milliseconds aliveProbeTimeout{500};
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

LocalSocketAddress addressOf(const QString& serverPath) {
  if (serverPath.startsWith(abstractMarker)) {
    return {QFile::encodeName(serverPath.mid(1)).toStdString(), true};
  }
  return {QFile::encodeName(serverPath).toStdString(), false};
}

// A request or reply line without the whitespace around it.
std::string trimmed(const std::string& line) {
  return QByteArray::fromStdString(line).trimmed().toStdString();
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

// One client of the running instance: it says a request line, gets the answer, and goes.
class SingleInstance::Connection : public QObject {
 public:
  Connection(LocalSocket socket, SingleInstance* instance)
      : QObject(instance), socket_(std::move(socket)) {
    readable_ = new QSocketNotifier(socket_.descriptor(), QSocketNotifier::Read, this);
    connect(readable_, &QSocketNotifier::activated, this, [this, instance] { read(instance); });
    auto* deadline = new QTimer(this);
    deadline->setSingleShot(true);
    connect(deadline, &QTimer::timeout, this, &QObject::deleteLater);
    deadline->start(clientTimeoutMs);
  }

 private:
  void read(SingleInstance* instance) {
    const auto read = socket_.receiveAvailable(received_, requestLimit + 1);
    if (const auto end = received_.find('\n'); end != std::string::npos) {
      received_.resize(end);
      readable_->setEnabled(false);
      instance->answer(socket_, trimmed(received_));
      deleteLater();
    } else if (read == LocalSocket::Read::ended || received_.size() > requestLimit) {
      deleteLater();
    }
  }

  LocalSocket socket_;
  QSocketNotifier* readable_;
  std::string received_;
};

SingleInstance::SingleInstance(QString serverPath, QObject* parent)
    : QObject(parent), path_(std::move(serverPath)) {}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::claim() {
  if (listening_ != nullptr) return true;
  const LocalSocketAddress address = addressOf(path_);
  // Two starts at the same moment must not both decide the socket is stale.
  std::optional<QLockFile> lock;
  if (!address.abstract) {
    lock.emplace(path_ + QStringLiteral(".lock"));
    lock->tryLock(claimLockTimeoutMs);
  }

  // Only an instance of this user's is handed over to; anyone else's listener there is
  // a squatter, not a reason to stay away.
  if (const LocalSocket probe = LocalSocket::connect(address, Clock::now() + aliveProbeTimeout);
      probe.isOpen() && peerIsThisUser(probe.descriptor())) {
    return false;
  }

  // Nobody of ours answers: whatever lies at the path is left from an instance that ended.
  if (!address.abstract) ::unlink(address.name.c_str());
  listener_ = LocalSocket::listen(address);
  if (!listener_.isOpen()) return true;
  listening_ = new QSocketNotifier(listener_.descriptor(), QSocketNotifier::Read, this);
  connect(listening_, &QSocketNotifier::activated, this, &SingleInstance::acceptWaiting);
  return true;
}

bool SingleInstance::isListening() const {
  return listening_ != nullptr;
}

void SingleInstance::setStatusProvider(std::function<QString()> provider) {
  status_ = std::move(provider);
}

void SingleInstance::acceptWaiting() {
  for (LocalSocket client = listener_.accept(); client.isOpen(); client = listener_.accept()) {
    // Other users get no answer: neither the status nor a window of this session.
    if (peerIsThisUser(client.descriptor())) new Connection(std::move(client), this);
  }
}

void SingleInstance::answer(const LocalSocket& client, const std::string& request) {
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
  reply += '\n';
  client.sendAll(std::string_view(reply.constData(), static_cast<std::size_t>(reply.size())),
                 Clock::now() + replyTimeout);
  if (openSettings) Q_EMIT settingsRequested();
}

std::optional<QString> SingleInstance::ask(const QString& serverPath, const QString& request,
                                           int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  const LocalSocket socket = LocalSocket::connect(addressOf(serverPath), deadline);
  // Whatever another user's listener says is not our instance's answer.
  if (!socket.isOpen() || !peerIsThisUser(socket.descriptor())) return std::nullopt;
  if (!socket.sendAll(request.toStdString() + '\n', deadline)) return std::nullopt;
  const auto reply = socket.receiveLine(replyLimit, deadline);
  if (!reply) return std::nullopt;
  return QString::fromStdString(trimmed(*reply));
}

}  // namespace pulsewell
