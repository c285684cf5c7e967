#include "platform/qt/status_notifier_item.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QFile>
#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <functional>
#include <memory>
#include <vector>

#include "tests/platform/qt/fake_status_notifier_watcher.h"
#include "tests/platform/qt/private_bus.h"

namespace pulsewell {
namespace {

using namespace std::chrono_literals;
using test::ItemSignals;

constexpr int kDeadlineMs = 5000;
constexpr QLatin1StringView kItemInterface("org.kde.StatusNotifierItem");

// Short enough that no test waits long, long enough to tell the steps apart.
StatusNotifierItem::Timing quick() {
  return {10ms, 40ms, 6, 100ms};
}

struct Pixmap {
  int width = 0;
  int height = 0;
  QByteArray bytes;
};

// Read by hand rather than through the item's own types, so the wire format is what is
// checked.
QList<Pixmap> readPixmaps(const QDBusArgument& argument) {
  QList<Pixmap> pixmaps;
  argument.beginArray();
  while (!argument.atEnd()) {
    Pixmap pixmap;
    argument.beginStructure();
    argument >> pixmap.width >> pixmap.height >> pixmap.bytes;
    argument.endStructure();
    pixmaps << pixmap;
  }
  argument.endArray();
  return pixmaps;
}

QString signatureOf(const QVariant& value) {
  if (value.metaType() == QMetaType::fromType<QDBusArgument>())
    return value.value<QDBusArgument>().currentSignature();
  return QString::fromLatin1(QDBusMetaType::typeToSignature(value.metaType()));
}

class StatusNotifierItemTest : public test::PrivateBus {
 protected:
  void SetUp() override {
    PrivateBus::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    host_ = connect(QStringLiteral("host"));
    ASSERT_TRUE(host_.isConnected());
  }

  std::unique_ptr<StatusNotifierItem> makeItem(StatusNotifierItem::Timing timing = quick()) {
    auto item =
        std::make_unique<StatusNotifierItem>(connect(QStringLiteral("app-%1").arg(++apps_)),
                                             QStringLiteral("org.pulsewell.Pulsewell"), timing);
    EXPECT_TRUE(item->isExported());
    return item;
  }

  std::unique_ptr<test::FakeStatusNotifierWatcher> startWatcher() {
    auto watcher = std::make_unique<test::FakeStatusNotifierWatcher>(address());
    EXPECT_TRUE(watcher->isServing());
    return watcher;
  }

  // Blocks with a local event loop, so the item in this same thread can answer.
  QDBusMessage call(const StatusNotifierItem& item, const QString& path, const QString& interface,
                    const QString& method, const QVariantList& arguments = {}) {
    QDBusMessage message =
        QDBusMessage::createMethodCall(item.serviceName(), path, interface, method);
    message.setArguments(arguments);
    return host_.call(message, QDBus::BlockWithGui, kDeadlineMs);
  }

  QVariantMap properties(const StatusNotifierItem& item) {
    const QDBusMessage reply = call(item, QStringLiteral("/StatusNotifierItem"),
                                    QStringLiteral("org.freedesktop.DBus.Properties"),
                                    QStringLiteral("GetAll"), {kItemInterface});
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    return qdbus_cast<QVariantMap>(reply.arguments().value(0));
  }

  static bool registeredWith(const StatusNotifierItem& item,
                             const test::FakeStatusNotifierWatcher& watcher) {
    return item.isRegistered() && watcher.items().contains(item.serviceName());
  }

  QDBusConnection host_{QString()};
  int apps_ = 0;
};

TEST_F(StatusNotifierItemTest, RegistersWithAWatcherAlreadyOnTheBus) {
  const auto watcher = startWatcher();
  const auto item = makeItem();

  ASSERT_TRUE(QTest::qWaitFor([&] { return registeredWith(*item, *watcher); }, kDeadlineMs));
  EXPECT_TRUE(item->watcherPresent());
  EXPECT_TRUE(item->serviceName().startsWith(
      QStringLiteral("org.kde.StatusNotifierItem-%1-").arg(QCoreApplication::applicationPid())));
  // The fake watcher runs in this very process.
  ASSERT_EQ(item->watcherProcessId(), static_cast<uint>(QCoreApplication::applicationPid()));
  QFile comm(QStringLiteral("/proc/self/comm"));
  ASSERT_TRUE(comm.open(QIODevice::ReadOnly));
  EXPECT_EQ(processName(*item->watcherProcessId()), QString::fromUtf8(comm.readAll()).trimmed());
}

TEST_F(StatusNotifierItemTest, RegistersWithAWatcherThatStartsLater) {
  const auto item = makeItem();
  QSignalSpy present(item.get(), &StatusNotifierItem::watcherPresentChanged);
  EXPECT_FALSE(item->watcherPresent());
  EXPECT_FALSE(item->isRegistered());

  const auto watcher = startWatcher();

  ASSERT_TRUE(QTest::qWaitFor([&] { return registeredWith(*item, *watcher); }, kDeadlineMs));
  ASSERT_EQ(present.count(), 1);
  EXPECT_EQ(present.at(0).at(0).toBool(), true);
}

TEST_F(StatusNotifierItemTest, RegistersAgainWithARestartedWatcher) {
  auto watcher = startWatcher();
  const auto item = makeItem();
  ASSERT_TRUE(QTest::qWaitFor([&] { return registeredWith(*item, *watcher); }, kDeadlineMs));

  watcher.reset();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !item->watcherPresent(); }, kDeadlineMs));
  EXPECT_FALSE(item->isRegistered());

  watcher = startWatcher();
  ASSERT_TRUE(QTest::qWaitFor([&] { return registeredWith(*item, *watcher); }, kDeadlineMs));
  EXPECT_EQ(watcher->items(), QStringList{item->serviceName()});
}

TEST_F(StatusNotifierItemTest, RegistersAgainWhenTheWatcherDoesNotListAFreshRegistration) {
  const auto watcher = startWatcher();
  watcher->ignoreRegistrations(2);
  const auto item = makeItem();

  ASSERT_TRUE(QTest::qWaitFor([&] { return registeredWith(*item, *watcher); }, kDeadlineMs));
  EXPECT_EQ(watcher->registrations(), 3);
}

struct Forgetting {
  const char* name;
  std::chrono::milliseconds confirmAfter;
  std::function<void(test::FakeStatusNotifierWatcher&, const QString& item)> forget;
};

TEST_F(StatusNotifierItemTest, RegistersAgainAfterTheWatcherForgetsTheItem) {
  const std::vector<Forgetting> cases{
      // GNOME's extension: caught by the check a while after registering.
      {"silently", 100ms, [](auto& watcher, const QString& item) { watcher.drop(item, false); }},
      // The later check is out of reach here; only the watcher's own signals can tell.
      {"announced", 1h, [](auto& watcher, const QString& item) { watcher.drop(item, true); }},
      {"silently, then a host starts", 1h,
       [](auto& watcher, const QString& item) {
         watcher.drop(item, false);
         watcher.announceHost();
       }},
  };
  for (const Forgetting& forgetting : cases) {
    SCOPED_TRACE(forgetting.name);
    const auto watcher = startWatcher();
    StatusNotifierItem::Timing timing = quick();
    timing.confirmAfter = forgetting.confirmAfter;
    const auto item = makeItem(timing);
    ASSERT_TRUE(QTest::qWaitFor([&] { return registeredWith(*item, *watcher); }, kDeadlineMs));
    ASSERT_EQ(watcher->registrations(), 1);

    forgetting.forget(*watcher, item->serviceName());

    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return watcher->registrations() == 2 && registeredWith(*item, *watcher); },
        kDeadlineMs));
  }
}

TEST_F(StatusNotifierItemTest, LeavesTheBusWhenDestroyed) {
  const auto watcher = startWatcher();
  auto item = makeItem();
  ASSERT_TRUE(QTest::qWaitFor([&] { return registeredWith(*item, *watcher); }, kDeadlineMs));
  const QString service = item->serviceName();

  item.reset();

  EXPECT_FALSE(host_.interface()->isServiceRegistered(service).value());
  ASSERT_TRUE(QTest::qWaitFor([&] { return watcher->items().isEmpty(); }, kDeadlineMs));
}

TEST_F(StatusNotifierItemTest, HostsReadEveryPropertyWithItsType) {
  const auto item = makeItem();
  item->setTitle(QStringLiteral("Pulsewell"));
  item->setLabel(QStringLiteral("1.2 MB/s"), QStringLiteral("888.8 MB/s"));

  const QVariantMap all = properties(*item);

  struct Expected {
    const char* name;
    const char* signature;
    QVariant value;  // invalid: not compared here
  };
  const std::vector<Expected> expected{
      {"Category", "s", QStringLiteral("ApplicationStatus")},
      {"Id", "s", QStringLiteral("org.pulsewell.Pulsewell")},
      {"Title", "s", QStringLiteral("Pulsewell")},
      {"Status", "s", QStringLiteral("Active")},
      {"WindowId", "i", 0},
      {"IconThemePath", "s", QString()},
      {"Menu", "o", QVariant::fromValue(QDBusObjectPath(QStringLiteral("/MenuBar")))},
      {"ItemIsMenu", "b", false},
      {"IconName", "s", QString()},
      {"IconPixmap", "a(iiay)", {}},
      {"OverlayIconName", "s", QString()},
      {"OverlayIconPixmap", "a(iiay)", {}},
      {"AttentionIconName", "s", QString()},
      {"AttentionIconPixmap", "a(iiay)", {}},
      {"AttentionMovieName", "s", QString()},
      {"ToolTip", "(sa(iiay)ss)", {}},
      {"XAyatanaLabel", "s", QStringLiteral("1.2 MB/s")},
      {"XAyatanaLabelGuide", "s", QStringLiteral("888.8 MB/s")},
      {"XAyatanaOrderingIndex", "u", 0U},
  };
  EXPECT_EQ(all.size(), static_cast<qsizetype>(expected.size()));
  for (const Expected& property : expected) {
    SCOPED_TRACE(property.name);
    const QVariant value = all.value(QString::fromLatin1(property.name));
    EXPECT_EQ(signatureOf(value), QString::fromLatin1(property.signature));
    if (property.value.isValid()) {
      EXPECT_EQ(value, property.value);
    }
  }
}

TEST_F(StatusNotifierItemTest, IconPixmapsAreBigEndianArgbAtTheirPixelSize) {
  struct Case {
    const char* name;
    QImage image;
    int width;
    int height;
  };
  QImage straight(2, 1, QImage::Format_ARGB32);
  straight.setPixel(0, 0, 0x80FF0000);
  straight.setPixel(1, 0, 0xFF0000FF);
  const QImage premultiplied = straight.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  QImage wide(64, 22, QImage::Format_RGB32);
  wide.fill(0xFF102030);
  QImage hiDpi(32, 32, QImage::Format_ARGB32);
  hiDpi.fill(0xFF102030);
  hiDpi.setDevicePixelRatio(2.0);
  const std::vector<Case> cases{
      {"straight alpha", straight, 2, 1},
      {"premultiplied", premultiplied, 2, 1},
      {"wider than tall", wide, 64, 22},
      {"device pixel ratio 2", hiDpi, 32, 32},
  };
  const auto item = makeItem();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    item->setIcon({c.image});

    const QList<Pixmap> pixmaps =
        readPixmaps(properties(*item).value(QStringLiteral("IconPixmap")).value<QDBusArgument>());

    ASSERT_EQ(pixmaps.size(), 1);
    EXPECT_EQ(pixmaps[0].width, c.width);
    EXPECT_EQ(pixmaps[0].height, c.height);
    ASSERT_EQ(pixmaps[0].bytes.size(), c.width * c.height * 4);
    const QByteArray first =
        c.width == 2 ? QByteArray::fromHex("80ff0000ff0000ff") : QByteArray::fromHex("ff102030");
    EXPECT_EQ(pixmaps[0].bytes.left(first.size()), first);
  }
}

TEST_F(StatusNotifierItemTest, TheToolTipHasATitleAndABodyAndNoIcon) {
  const auto item = makeItem();
  item->setToolTip(QStringLiteral("Pulsewell"), QStringLiteral("eth0: 1.2 MB/s in"));

  const auto tip = properties(*item).value(QStringLiteral("ToolTip")).value<QDBusArgument>();
  QString iconName;
  QString title;
  QString body;
  tip.beginStructure();
  tip >> iconName;
  const QList<Pixmap> icon = readPixmaps(tip);
  tip >> title >> body;
  tip.endStructure();

  EXPECT_EQ(iconName, QString());
  EXPECT_TRUE(icon.isEmpty());
  EXPECT_EQ(title, QStringLiteral("Pulsewell"));
  EXPECT_EQ(body, QStringLiteral("eth0: 1.2 MB/s in"));
}

TEST_F(StatusNotifierItemTest, TellsHostsOnlyOfValuesThatChanged) {
  QImage red(16, 16, QImage::Format_ARGB32);
  red.fill(Qt::red);
  QImage green(16, 16, QImage::Format_ARGB32);
  green.fill(Qt::green);
  struct Case {
    const char* name;
    void (ItemSignals::*signal)();
    std::function<void(StatusNotifierItem&, int value)> set;
  };
  const std::vector<Case> cases{
      {"icon", &ItemSignals::NewIcon,
       [&](StatusNotifierItem& item, int value) { item.setIcon({value == 0 ? red : green}); }},
      {"tooltip", &ItemSignals::NewToolTip,
       [](StatusNotifierItem& item, int value) {
         item.setToolTip(QStringLiteral("Pulsewell"), QString::number(value));
       }},
      {"title", &ItemSignals::NewTitle,
       [](StatusNotifierItem& item, int value) { item.setTitle(QString::number(value)); }},
  };
  const auto item = makeItem();
  ItemSignals host(item->serviceName(), host_);
  QSignalSpy labels(&host, &ItemSignals::XAyatanaNewLabel);
  int fence = 0;
  // The item's signals reach the host in the order sent, so once a later label has
  // arrived, no signal sent before it is still on its way.
  const auto settle = [&] {
    item->setLabel(QStringLiteral("fence %1").arg(++fence), QString());
    return QTest::qWaitFor(
        [&] {
          return !labels.isEmpty() &&
                 labels.last().at(0).toString() == QStringLiteral("fence %1").arg(fence);
        },
        kDeadlineMs);
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QSignalSpy spy(&host, c.signal);
    c.set(*item, 0);
    c.set(*item, 0);
    c.set(*item, 1);
    ASSERT_TRUE(settle());
    EXPECT_EQ(spy.count(), 2);
  }

  // The label carries its values.
  item->setLabel(QStringLiteral("1 kB/s"), QStringLiteral("888 kB/s"));
  item->setLabel(QStringLiteral("1 kB/s"), QStringLiteral("888 kB/s"));
  ASSERT_TRUE(settle());
  // Every fence once, and the label once, before the last fence.
  ASSERT_EQ(labels.count(), fence + 1);
  EXPECT_EQ(labels.at(labels.count() - 2),
            (QList<QVariant>{QStringLiteral("1 kB/s"), QStringLiteral("888 kB/s")}));
}

TEST_F(StatusNotifierItemTest, ClicksFromTheHostArriveWithTheirPosition) {
  struct Case {
    const char* method;
    void (StatusNotifierItem::*signal)(QPoint);
  };
  const std::vector<Case> cases{
      {"Activate", &StatusNotifierItem::activated},
      {"SecondaryActivate", &StatusNotifierItem::secondaryActivated},
      {"ContextMenu", &StatusNotifierItem::contextMenuRequested},
  };
  const auto item = makeItem();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.method);
    QSignalSpy spy(item.get(), c.signal);

    const QDBusMessage reply = call(*item, QStringLiteral("/StatusNotifierItem"), kItemInterface,
                                    QString::fromLatin1(c.method), {12, 34});

    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    ASSERT_TRUE(spy.count() == 1 || spy.wait(kDeadlineMs));
    EXPECT_EQ(spy.at(0).at(0).toPoint(), QPoint(12, 34));
  }

  QSignalSpy scrolled(item.get(), &StatusNotifierItem::scrolled);
  call(*item, QStringLiteral("/StatusNotifierItem"), kItemInterface, QStringLiteral("Scroll"),
       {-120, QStringLiteral("horizontal")});
  ASSERT_TRUE(scrolled.count() == 1 || scrolled.wait(kDeadlineMs));
  EXPECT_EQ(scrolled.at(0).at(0).toInt(), -120);
  EXPECT_EQ(scrolled.at(0).at(1).value<Qt::Orientation>(), Qt::Horizontal);
}

TEST_F(StatusNotifierItemTest, IntrospectionDescribesTheItemAndItsMenu) {
  const auto item = makeItem();
  const auto introspect = [&](const QString& path) {
    return call(*item, path, QStringLiteral("org.freedesktop.DBus.Introspectable"),
                QStringLiteral("Introspect"))
        .arguments()
        .value(0)
        .toString();
  };

  const QString itemXml = introspect(QStringLiteral("/StatusNotifierItem"));
  EXPECT_TRUE(itemXml.contains(QStringLiteral("<interface name=\"org.kde.StatusNotifierItem\">")));
  EXPECT_TRUE(itemXml.contains(
      QStringLiteral("<property name=\"IconPixmap\" type=\"a(iiay)\" access=\"read\"/>")));
  EXPECT_TRUE(itemXml.contains(QStringLiteral("org.freedesktop.DBus.Properties")));
  EXPECT_TRUE(introspect(QStringLiteral("/MenuBar"))
                  .contains(QStringLiteral("<interface name=\"com.canonical.dbusmenu\">")));
}

}  // namespace
}  // namespace pulsewell
