#include "platform/qt/status_notifier_item.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusAbstractInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QFile>
#include <QStringList>
#include <algorithm>
#include <atomic>
#include <utility>

namespace pulsewell {
namespace {

constexpr QLatin1StringView kWatcherService("org.kde.StatusNotifierWatcher");
constexpr QLatin1StringView kWatcherPath("/StatusNotifierWatcher");
constexpr const char* kWatcherInterface = "org.kde.StatusNotifierWatcher";
constexpr QLatin1StringView kItemPath("/StatusNotifierItem");
constexpr QLatin1StringView kMenuPath("/MenuBar");

}  // namespace

// Hosts learn of changes from the New* signals and read the properties again; there is no
// PropertiesChanged, as the introspection says.
class StatusNotifierItemAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
  Q_CLASSINFO("D-Bus Introspection",
              "  <interface name=\"org.kde.StatusNotifierItem\">\n"
              "    <annotation name=\"org.freedesktop.DBus.Property.EmitsChangedSignal\" "
              "value=\"false\"/>\n"
              "    <property name=\"Category\" type=\"s\" access=\"read\"/>\n"
              "    <property name=\"Id\" type=\"s\" access=\"read\"/>\n"
              "    <property name=\"Title\" type=\"s\" access=\"read\"/>\n"
              "    <property name=\"Status\" type=\"s\" access=\"read\"/>\n"
              "    <property name=\"WindowId\" type=\"i\" access=\"read\"/>\n"
              "    <property name=\"IconThemePath\" type=\"s\" access=\"read\"/>\n"
              "    <property name=\"Menu\" type=\"o\" access=\"read\"/>\n"
              "    <property name=\"ItemIsMenu\" type=\"b\" access=\"read\"/>\n"
              "    <property name=\"IconName\" type=\"s\" access=\"read\"/>\n"
              "    <property name=\"IconPixmap\" type=\"a(iiay)\" access=\"read\"/>\n"
              "    <property name=\"OverlayIconName\" type=\"s\" access=\"read\"/>\n"
              "    <property name=\"OverlayIconPixmap\" type=\"a(iiay)\" access=\"read\"/>\n"
              "    <property name=\"AttentionIconName\" type=\"s\" access=\"read\"/>\n"
              "    <property name=\"AttentionIconPixmap\" type=\"a(iiay)\" access=\"read\"/>\n"
              "    <property name=\"AttentionMovieName\" type=\"s\" access=\"read\"/>\n"
              "    <property name=\"ToolTip\" type=\"(sa(iiay)ss)\" access=\"read\"/>\n"
              "    <property name=\"XAyatanaLabel\" type=\"s\" access=\"read\"/>\n"
              "    <property name=\"XAyatanaLabelGuide\" type=\"s\" access=\"read\"/>\n"
              "    <property name=\"XAyatanaOrderingIndex\" type=\"u\" access=\"read\"/>\n"
              "    <method name=\"ContextMenu\">\n"
              "      <arg name=\"x\" type=\"i\" direction=\"in\"/>\n"
              "      <arg name=\"y\" type=\"i\" direction=\"in\"/>\n"
              "    </method>\n"
              "    <method name=\"Activate\">\n"
              "      <arg name=\"x\" type=\"i\" direction=\"in\"/>\n"
              "      <arg name=\"y\" type=\"i\" direction=\"in\"/>\n"
              "    </method>\n"
              "    <method name=\"SecondaryActivate\">\n"
              "      <arg name=\"x\" type=\"i\" direction=\"in\"/>\n"
              "      <arg name=\"y\" type=\"i\" direction=\"in\"/>\n"
              "    </method>\n"
              "    <method name=\"Scroll\">\n"
              "      <arg name=\"delta\" type=\"i\" direction=\"in\"/>\n"
              "      <arg name=\"orientation\" type=\"s\" direction=\"in\"/>\n"
              "    </method>\n"
              "    <method name=\"ProvideXdgActivationToken\">\n"
              "      <arg name=\"token\" type=\"s\" direction=\"in\"/>\n"
              "    </method>\n"
              "    <signal name=\"NewTitle\"/>\n"
              "    <signal name=\"NewIcon\"/>\n"
              "    <signal name=\"NewAttentionIcon\"/>\n"
              "    <signal name=\"NewOverlayIcon\"/>\n"
              "    <signal name=\"NewToolTip\"/>\n"
              "    <signal name=\"NewStatus\">\n"
              "      <arg name=\"status\" type=\"s\"/>\n"
              "    </signal>\n"
              "    <signal name=\"XAyatanaNewLabel\">\n"
              "      <arg name=\"label\" type=\"s\"/>\n"
              "      <arg name=\"guide\" type=\"s\"/>\n"
              "    </signal>\n"
              "  </interface>\n")
  Q_PROPERTY(QString Category READ category)
  Q_PROPERTY(QString Id READ id)
  Q_PROPERTY(QString Title READ title)
  Q_PROPERTY(QString Status READ status)
  Q_PROPERTY(int WindowId READ windowId)
  Q_PROPERTY(QString IconThemePath READ emptyName)
  Q_PROPERTY(QDBusObjectPath Menu READ menu)
  Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
  Q_PROPERTY(QString IconName READ emptyName)
  Q_PROPERTY(QList<pulsewell::DBusImage> IconPixmap READ iconPixmap)
  Q_PROPERTY(QString OverlayIconName READ emptyName)
  Q_PROPERTY(QList<pulsewell::DBusImage> OverlayIconPixmap READ noPixmap)
  Q_PROPERTY(QString AttentionIconName READ emptyName)
  Q_PROPERTY(QList<pulsewell::DBusImage> AttentionIconPixmap READ noPixmap)
  Q_PROPERTY(QString AttentionMovieName READ emptyName)
  Q_PROPERTY(pulsewell::DBusToolTip ToolTip READ toolTip)
  Q_PROPERTY(QString XAyatanaLabel READ label)
  Q_PROPERTY(QString XAyatanaLabelGuide READ labelGuide)
  Q_PROPERTY(uint XAyatanaOrderingIndex READ orderingIndex)

 public:
  explicit StatusNotifierItemAdaptor(StatusNotifierItem* item)
      : QDBusAbstractAdaptor(item), item_(item) {}

  static QString category() { return QStringLiteral("ApplicationStatus"); }
  QString id() const { return item_->id_; }
  QString title() const { return item_->title_; }
  // The entry always shows the traffic; it never asks for attention nor hides.
  static QString status() { return QStringLiteral("Active"); }
  static int windowId() { return 0; }
  static QString emptyName() { return {}; }
  static QDBusObjectPath menu() { return QDBusObjectPath(kMenuPath); }
  // The host shows the menu on a right click and sends Activate on a left one.
  static bool itemIsMenu() { return false; }
  DBusImageList iconPixmap() const { return item_->icon_; }
  static DBusImageList noPixmap() { return {}; }
  DBusToolTip toolTip() const { return item_->toolTip_; }
  QString label() const { return item_->label_; }
  QString labelGuide() const { return item_->labelGuide_; }
  static uint orderingIndex() { return 0; }

 public Q_SLOTS:
  void ContextMenu(int x, int y) {
    item_->post([item = item_, x, y] { Q_EMIT item->contextMenuRequested(QPoint(x, y)); });
  }
  void Activate(int x, int y) {
    item_->post([item = item_, x, y] { Q_EMIT item->activated(QPoint(x, y)); });
  }
  void SecondaryActivate(int x, int y) {
    item_->post([item = item_, x, y] { Q_EMIT item->secondaryActivated(QPoint(x, y)); });
  }
  void Scroll(int delta, const QString& orientation) {
    const Qt::Orientation direction =
        orientation.compare(QLatin1String("horizontal"), Qt::CaseInsensitive) == 0 ? Qt::Horizontal
                                                                                   : Qt::Vertical;
    item_->post([item = item_, delta, direction] { Q_EMIT item->scrolled(delta, direction); });
  }
  // Only needed to raise a window in the host's name under Wayland, which the menu does
  // not do.
  void ProvideXdgActivationToken(const QString& token) { (void)token; }

 Q_SIGNALS:
  void NewTitle();
  void NewIcon();
  void NewAttentionIcon();
  void NewOverlayIcon();
  void NewToolTip();
  // Unnamed: moc defines these, and its names would differ. Named in the XML above.
  void NewStatus(const QString&);
  void XAyatanaNewLabel(const QString&, const QString&);

 private:
  StatusNotifierItem* item_;
};

// The watcher's signals, subscribed to through QtDBus's typed proxy: QtDBus delivers them
// only while they come from the current owner of the watcher's name.
class StatusNotifierWatcherSignals : public QDBusAbstractInterface {
  Q_OBJECT

 public:
  StatusNotifierWatcherSignals(const QDBusConnection& bus, QObject* parent)
      : QDBusAbstractInterface(kWatcherService, kWatcherPath, kWatcherInterface, bus, parent) {}

 Q_SIGNALS:
  void StatusNotifierItemUnregistered(const QString&);
  void StatusNotifierHostRegistered();
};

StatusNotifierItem::StatusNotifierItem(const QDBusConnection& bus, const QString& id,
                                       QObject* parent)
    : StatusNotifierItem(bus, id, Timing{}, parent) {}

StatusNotifierItem::StatusNotifierItem(const QDBusConnection& bus, const QString& id, Timing timing,
                                       QObject* parent)
    : QObject(parent),
      bus_(bus),
      id_(id),
      timing_(timing),
      menu_(bus, kMenuPath),
      adaptor_(new StatusNotifierItemAdaptor(this)) {
  static std::atomic<int> instances{0};
  registerDBusImageTypes();
  postTimer_.setSingleShot(true);
  postTimer_.setInterval(0);
  connect(&postTimer_, &QTimer::timeout, this, &StatusNotifierItem::emitPosted);
  retryTimer_.setSingleShot(true);
  confirmTimer_.setSingleShot(true);
  connect(&retryTimer_, &QTimer::timeout, this, &StatusNotifierItem::registerWithWatcher);
  connect(&confirmTimer_, &QTimer::timeout, this, [this] { verify(false); });
  if (!bus_.isConnected()) return;

  // The objects first, so a watcher that reacts to the name finds them there.
  service_ = QStringLiteral("org.kde.StatusNotifierItem-%1-%2")
                 .arg(QCoreApplication::applicationPid())
                 .arg(++instances);
  exported_ = menu_.isExported() &&
              bus_.registerObject(kItemPath, this, QDBusConnection::ExportAdaptors) &&
              bus_.registerService(service_);
  if (!exported_) return;

  watcherWatch_ = new QDBusServiceWatcher(kWatcherService, bus_,
                                          QDBusServiceWatcher::WatchForOwnerChange, this);
  connect(
      watcherWatch_, &QDBusServiceWatcher::serviceOwnerChanged, this,
      [this](const QString&, const QString&, const QString& owner) { watcherOwnerChanged(owner); });
  watcherSignals_ = new StatusNotifierWatcherSignals(bus_, this);
  connect(watcherSignals_, &StatusNotifierWatcherSignals::StatusNotifierItemUnregistered, this,
          &StatusNotifierItem::itemUnregistered);
  connect(watcherSignals_, &StatusNotifierWatcherSignals::StatusNotifierHostRegistered, this,
          &StatusNotifierItem::hostRegistered);

  // A watcher already running: the service watcher reports only changes from now on.
  QDBusMessage ownerQuery = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
      QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetNameOwner"));
  ownerQuery << QString(kWatcherService);
  whenAnswered(bus_.asyncCall(ownerQuery), [this](const QDBusMessage& reply) {
    if (reply.type() == QDBusMessage::ReplyMessage)
      watcherOwnerChanged(reply.arguments().value(0).toString());
  });
}

StatusNotifierItem::~StatusNotifierItem() {
  if (!exported_) return;
  bus_.unregisterObject(kItemPath);
  bus_.unregisterService(service_);
}

void StatusNotifierItem::setIcon(const QList<QImage>& images) {
  DBusImageList icon;
  for (const QImage& image : images) {
    if (!image.isNull()) icon << DBusImage::fromImage(image);
  }
  if (icon == icon_) return;
  icon_ = std::move(icon);
  Q_EMIT adaptor_->NewIcon();
}

void StatusNotifierItem::setToolTip(const QString& title, const QString& body) {
  if (toolTip_.title == title && toolTip_.body == body) return;
  toolTip_.title = title;
  toolTip_.body = body;
  Q_EMIT adaptor_->NewToolTip();
}

void StatusNotifierItem::setLabel(const QString& label, const QString& guide) {
  if (label_ == label && labelGuide_ == guide) return;
  label_ = label;
  labelGuide_ = guide;
  Q_EMIT adaptor_->XAyatanaNewLabel(label_, labelGuide_);
}

void StatusNotifierItem::setTitle(const QString& title) {
  if (title_ == title) return;
  title_ = title;
  Q_EMIT adaptor_->NewTitle();
}

void StatusNotifierItem::post(std::function<void()> emission) {
  // The host is blocked on our reply until the adaptor's slot returns; the zero timer fires
  // only once the event loop runs again, after the reply has gone out.
  posted_.push_back(std::move(emission));
  postTimer_.start();
}

void StatusNotifierItem::emitPosted() {
  const std::vector<std::function<void()>> due = std::exchange(posted_, {});
  for (const auto& emission : due)
    emission();
}

template <typename Handler>
void StatusNotifierItem::whenAnswered(const QDBusPendingCall& call, Handler handler) {
  auto* watcher = new QDBusPendingCallWatcher(call, this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this,
          [this, watcher, generation = generation_, handler = std::move(handler)] {
            watcher->deleteLater();
            if (generation == generation_) handler(QDBusPendingReply<>(*watcher).reply());
          });
}

QDBusMessage StatusNotifierItem::watcherCall(const QString& method) const {
  // Addressed to the owner we know, not the name, so a newer watcher never sees it.
  return QDBusMessage::createMethodCall(watcherOwner_, kWatcherPath,
                                        QString::fromLatin1(kWatcherInterface), method);
}

void StatusNotifierItem::watcherOwnerChanged(const QString& owner) {
  if (owner == watcherOwner_) return;
  ++generation_;
  retryTimer_.stop();
  confirmTimer_.stop();
  attempts_ = 0;
  watcherOwner_ = owner;
  watcherPid_.reset();
  setRegistered(false);
  if (owner.isEmpty()) {
    setWatcherPresent(false);
    return;
  }
  QDBusMessage pidQuery = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
      QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetConnectionUnixProcessID"));
  pidQuery << owner;
  whenAnswered(bus_.asyncCall(pidQuery), [this](const QDBusMessage& reply) {
    if (reply.type() == QDBusMessage::ReplyMessage)
      watcherPid_ = reply.arguments().value(0).toUInt();
    setWatcherPresent(true);
    registerWithWatcher();
  });
}

void StatusNotifierItem::registerWithWatcher() {
  if (watcherOwner_.isEmpty()) return;
  QDBusMessage call = watcherCall(QStringLiteral("RegisterStatusNotifierItem"));
  call << service_;
  whenAnswered(bus_.asyncCall(call), [this](const QDBusMessage& reply) {
    if (reply.type() == QDBusMessage::ReplyMessage) {
      verify(true);
    } else {
      setRegistered(false);
      retryLater();
    }
  });
}

void StatusNotifierItem::verify(bool confirmLater) {
  if (watcherOwner_.isEmpty()) return;
  QDBusMessage call = QDBusMessage::createMethodCall(
      watcherOwner_, kWatcherPath, QStringLiteral("org.freedesktop.DBus.Properties"),
      QStringLiteral("Get"));
  call << QString::fromLatin1(kWatcherInterface) << QStringLiteral("RegisteredStatusNotifierItems");
  whenAnswered(bus_.asyncCall(call), [this, confirmLater](const QDBusMessage& reply) {
    // A watcher that cannot list its items is taken at its word.
    bool listed = reply.type() != QDBusMessage::ReplyMessage;
    if (!listed) {
      const QStringList items =
          reply.arguments().value(0).value<QDBusVariant>().variant().toStringList();
      listed = std::any_of(items.begin(), items.end(),
                           [this](const QString& item) { return names(item); });
    }
    setRegistered(listed);
    if (!listed) {
      retryLater();
    } else if (confirmLater) {
      confirmTimer_.start(timing_.confirmAfter);
    } else {
      attempts_ = 0;
    }
  });
}

void StatusNotifierItem::retryLater() {
  // Past the limit, only a new watcher or host starts another round.
  if (retryTimer_.isActive() || attempts_ >= timing_.retries) return;
  const std::chrono::milliseconds delay = std::min<std::chrono::milliseconds>(
      timing_.firstRetry * (1LL << std::min(attempts_, 20)), timing_.longestRetry);
  ++attempts_;
  retryTimer_.start(delay);
}

void StatusNotifierItem::itemUnregistered(const QString& item) {
  if (names(item)) verify(true);
}

void StatusNotifierItem::hostRegistered() {
  attempts_ = 0;
  verify(true);
}

// Watchers list an item as its bus name, or as bus name and object path; GNOME's uses our
// unique name.
bool StatusNotifierItem::names(const QString& item) const {
  const QString unique = bus_.baseService();
  for (const QString& name : {service_, unique}) {
    if (item == name || item == name + kItemPath) return true;
  }
  return false;
}

void StatusNotifierItem::setWatcherPresent(bool present) {
  if (watcherPresent_ == present) return;
  watcherPresent_ = present;
  Q_EMIT watcherPresentChanged(present);
}

void StatusNotifierItem::setRegistered(bool registered) {
  if (registered_ == registered) return;
  registered_ = registered;
  Q_EMIT registeredChanged(registered);
}

QString processName(uint pid) {
  QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
  if (!comm.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(comm.readAll()).trimmed();
}

}  // namespace pulsewell

#include "status_notifier_item.moc"
