#include "platform/qt/dbus_menu_exporter.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QKeySequence>
#include <QSignalSpy>
#include <QTest>
#include <functional>
#include <vector>

#include "tests/platform/qt/fake_status_notifier_watcher.h"
#include "tests/platform/qt/private_bus.h"

namespace pulsewell {

// One event of EventGroup, (isvu), as a GTK host sends it.
struct HostEvent {
  int id = 0;
  QString eventId;
  QDBusVariant data;
  uint timestamp = 0;
};

QDBusArgument& operator<<(QDBusArgument& argument, const HostEvent& event) {
  argument.beginStructure();
  argument << event.id << event.eventId << event.data << event.timestamp;
  argument.endStructure();
  return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, HostEvent& event) {
  argument.beginStructure();
  argument >> event.id >> event.eventId >> event.data >> event.timestamp;
  argument.endStructure();
  return argument;
}

}  // namespace pulsewell

Q_DECLARE_METATYPE(pulsewell::HostEvent)

namespace pulsewell {
namespace {

constexpr int kDeadlineMs = 5000;
constexpr QLatin1StringView kMenuInterface("com.canonical.dbusmenu");
using Shortcut = QList<QStringList>;
using test::MenuSignals;

struct Layout {
  int id = -1;
  QVariantMap properties;
  QList<Layout> children;
};

Layout readLayout(const QDBusArgument& argument) {
  Layout layout;
  argument.beginStructure();
  argument >> layout.id >> layout.properties;
  argument.beginArray();
  while (!argument.atEnd()) {
    QDBusVariant child;
    argument >> child;
    layout.children << readLayout(child.variant().value<QDBusArgument>());
  }
  argument.endArray();
  argument.endStructure();
  return layout;
}

// a(ia{sv}) into id → properties.
QMap<int, QVariantMap> readItems(const QVariant& value) {
  const auto argument = value.value<QDBusArgument>();
  QMap<int, QVariantMap> items;
  argument.beginArray();
  while (!argument.atEnd()) {
    int id = 0;
    QVariantMap properties;
    argument.beginStructure();
    argument >> id >> properties;
    argument.endStructure();
    items.insert(id, properties);
  }
  argument.endArray();
  return items;
}

class DBusMenuExporterTest : public test::PrivateBus {
 protected:
  void SetUp() override {
    PrivateBus::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    qDBusRegisterMetaType<HostEvent>();
    qDBusRegisterMetaType<QList<HostEvent>>();
    app_ = connect(QStringLiteral("app"));
    host_ = connect(QStringLiteral("host"));
    ASSERT_TRUE(app_.isConnected() && host_.isConnected());
    separator_.setSeparator(true);
    settings_.setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    quit_.setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    exporter_ = std::make_unique<DBusMenuExporter>(app_, QStringLiteral("/MenuBar"));
    ASSERT_TRUE(exporter_->isExported());
    exporter_->setActions({&about_, &separator_, &settings_, &quit_});
  }

  void TearDown() override {
    exporter_.reset();
    PrivateBus::TearDown();
  }

  // Blocks with a local event loop, so the exporter in this same thread can answer.
  QDBusMessage call(const QString& method, const QVariantList& arguments = {},
                    const QString& interface = kMenuInterface) {
    QDBusMessage message = QDBusMessage::createMethodCall(
        app_.baseService(), QStringLiteral("/MenuBar"), interface, method);
    message.setArguments(arguments);
    return host_.call(message, QDBus::BlockWithGui, kDeadlineMs);
  }

  Layout layout() {
    const QDBusMessage reply = call(QStringLiteral("GetLayout"), {0, -1, QStringList()});
    EXPECT_EQ(reply.signature(), QStringLiteral("u(ia{sv}av)"));
    return readLayout(reply.arguments().value(1).value<QDBusArgument>());
  }

  QVariant property(int id, const QString& name) {
    const QDBusMessage reply = call(QStringLiteral("GetProperty"), {id, name});
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    return reply.arguments().value(0).value<QDBusVariant>().variant();
  }

  QDBusConnection app_{QString()};
  QDBusConnection host_{QString()};
  QAction about_{QStringLiteral("&About Pulsewell")};
  QAction separator_;
  QAction settings_{QStringLiteral("&Settings…")};
  QAction quit_{QStringLiteral("&Quit")};
  std::unique_ptr<DBusMenuExporter> exporter_;
};

TEST_F(DBusMenuExporterTest, TheLayoutIsTheActionsUnderTheRoot) {
  const Layout root = layout();

  EXPECT_EQ(root.id, 0);
  EXPECT_EQ(root.properties.value(QStringLiteral("children-display")), QStringLiteral("submenu"));
  ASSERT_EQ(root.children.size(), 4);
  const QList<QVariantMap> expected{
      {{QStringLiteral("label"), QStringLiteral("_About Pulsewell")}},
      {{QStringLiteral("type"), QStringLiteral("separator")}},
      {{QStringLiteral("label"), QStringLiteral("_Settings…")},
       {QStringLiteral("shortcut"), QVariant::fromValue(Shortcut{{"Control", "comma"}})}},
      {{QStringLiteral("label"), QStringLiteral("_Quit")},
       {QStringLiteral("shortcut"), QVariant::fromValue(Shortcut{{"Control", "q"}})}},
  };
  for (int i = 0; i < root.children.size(); ++i) {
    SCOPED_TRACE(i);
    const Layout& child = root.children[i];
    EXPECT_EQ(child.id, i + 1);
    EXPECT_TRUE(child.children.isEmpty());
    QVariantMap properties = child.properties;
    if (properties.contains(QStringLiteral("shortcut"))) {
      properties[QStringLiteral("shortcut")] =
          QVariant::fromValue(qdbus_cast<Shortcut>(properties.value(QStringLiteral("shortcut"))));
    }
    EXPECT_EQ(properties, expected[i]);
  }
}

TEST_F(DBusMenuExporterTest, LabelsAndShortcutsAreInTheHostsTerms) {
  struct Case {
    QString text;
    QKeySequence keys;
    QString label;
    Shortcut shortcut;
  };
  const std::vector<Case> cases{
      {QStringLiteral("&Quit"),
       QKeySequence(Qt::CTRL | Qt::Key_Q),
       QStringLiteral("_Quit"),
       {{"Control", "q"}}},
      {QStringLiteral("Settings…"),
       QKeySequence(Qt::CTRL | Qt::Key_Comma),
       QStringLiteral("Settings…"),
       {{"Control", "comma"}}},
      {QStringLiteral("snake_case"),
       QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F1),
       QStringLiteral("snake__case"),
       {{"Control", "Shift", "F1"}}},
      {QStringLiteral("Fish && Chips"),
       QKeySequence(Qt::META | Qt::ALT | Qt::Key_Delete),
       QStringLiteral("Fish & Chips"),
       {{"Alt", "Super", "Delete"}}},
      {QStringLiteral("Save &As"),
       QKeySequence(Qt::CTRL | Qt::Key_K, Qt::CTRL | Qt::Key_Slash,
                    QKeyCombination(Qt::Key_PageDown)),
       QStringLiteral("Save _As"),
       {{"Control", "k"}, {"Control", "slash"}, {"Page_Down"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.toStdString());
    quit_.setText(c.text);
    quit_.setShortcut(c.keys);

    EXPECT_EQ(property(4, QStringLiteral("label")).toString(), c.label);
    EXPECT_EQ(qdbus_cast<Shortcut>(property(4, QStringLiteral("shortcut"))), c.shortcut);
  }
}

TEST_F(DBusMenuExporterTest, AClickFromTheHostTriggersItsAction) {
  struct Case {
    const char* method;
    QVariantList arguments;
  };
  QDBusArgument group;
  group << QList<HostEvent>{{4, QStringLiteral("clicked"), QDBusVariant(0), 0},
                            {99, QStringLiteral("clicked"), QDBusVariant(0), 0}};
  const std::vector<Case> cases{
      {"Event", {4, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(0)), 0U}},
      {"EventGroup", {QVariant::fromValue(group)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.method);
    QSignalSpy about(&about_, &QAction::triggered);
    QSignalSpy quit(&quit_, &QAction::triggered);

    const QDBusMessage reply = call(QString::fromLatin1(c.method), c.arguments);

    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    ASSERT_TRUE(quit.count() == 1 || quit.wait(kDeadlineMs));
    EXPECT_EQ(about.count(), 0);
    if (c.method == std::string("EventGroup")) {
      EXPECT_EQ(qdbus_cast<QList<int>>(reply.arguments().value(0)), QList<int>{99});
    }
  }
}

TEST_F(DBusMenuExporterTest, ChangedActionsReachTheHostAsChangedProperties) {
  struct Case {
    const char* name;
    std::function<void(QAction&)> change;
    QVariantMap updated;
    QStringList removed;
  };
  const std::vector<Case> cases{
      {"text",
       [](QAction& a) { a.setText(QStringLiteral("&About")); },
       {{QStringLiteral("label"), QStringLiteral("_About")}},
       {}},
      {"disabled",
       [](QAction& a) { a.setEnabled(false); },
       {{QStringLiteral("enabled"), false}},
       {}},
      {"enabled again", [](QAction& a) { a.setEnabled(true); }, {}, {QStringLiteral("enabled")}},
      {"checkable",
       [](QAction& a) { a.setCheckable(true); },
       {{QStringLiteral("toggle-type"), QStringLiteral("checkmark")},
        {QStringLiteral("toggle-state"), 0}},
       {}},
      {"checked",
       [](QAction& a) { a.setChecked(true); },
       {{QStringLiteral("toggle-state"), 1}},
       {}},
      // Qt disables what it hides.
      {"hidden",
       [](QAction& a) { a.setVisible(false); },
       {{QStringLiteral("enabled"), false}, {QStringLiteral("visible"), false}},
       {}},
  };
  MenuSignals host(app_.baseService(), host_);
  QSignalSpy updates(&host, &MenuSignals::ItemsPropertiesUpdated);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    updates.clear();

    c.change(about_);

    ASSERT_TRUE(updates.wait(kDeadlineMs));
    const QDBusMessage message = updates.at(0).at(0).value<QDBusMessage>();
    ASSERT_EQ(message.signature(), QStringLiteral("a(ia{sv})a(ias)"));
    const QMap<int, QVariantMap> updated = readItems(message.arguments().value(0));
    EXPECT_EQ(updated.value(1), c.updated);
    EXPECT_EQ(updated.size(), c.updated.isEmpty() ? 0 : 1);
    QStringList removed;
    const auto removedArgument = message.arguments().value(1).value<QDBusArgument>();
    removedArgument.beginArray();
    while (!removedArgument.atEnd()) {
      int id = 0;
      QStringList names;
      removedArgument.beginStructure();
      removedArgument >> id >> names;
      removedArgument.endStructure();
      EXPECT_EQ(id, 1);
      removed << names;
    }
    removedArgument.endArray();
    EXPECT_EQ(removed, c.removed);
  }
}

TEST_F(DBusMenuExporterTest, ANewListIsANewRevisionAndKeepsTheIdsOfActionsKept) {
  const uint before =
      call(QStringLiteral("GetLayout"), {0, 0, QStringList()}).arguments().value(0).toUInt();
  MenuSignals host(app_.baseService(), host_);
  QSignalSpy layoutUpdates(&host, &MenuSignals::LayoutUpdated);
  QAction help(QStringLiteral("Help"));

  exporter_->setActions({&quit_, &help, &about_});

  ASSERT_TRUE(layoutUpdates.wait(kDeadlineMs));
  EXPECT_EQ(layoutUpdates.at(0).at(0).toUInt(), before + 1);
  EXPECT_EQ(layoutUpdates.at(0).at(1).toInt(), 0);
  QList<int> ids;
  for (const Layout& child : layout().children)
    ids << child.id;
  EXPECT_EQ(ids, (QList<int>{4, 5, 1}));
}

TEST_F(DBusMenuExporterTest, AnswersTheHostsOtherQuestions) {
  EXPECT_EQ(call(QStringLiteral("AboutToShow"), {0}).arguments(), QVariantList{false});

  const QDBusMessage group =
      call(QStringLiteral("AboutToShowGroup"), {QVariant::fromValue(QList<int>{0, 99})});
  ASSERT_EQ(group.signature(), QStringLiteral("aiai"));
  EXPECT_TRUE(qdbus_cast<QList<int>>(group.arguments().value(0)).isEmpty());
  EXPECT_EQ(qdbus_cast<QList<int>>(group.arguments().value(1)), QList<int>{99});

  const QDBusMessage properties =
      call(QStringLiteral("GetGroupProperties"),
           {QVariant::fromValue(QList<int>{1, 4, 99}), QStringList{QStringLiteral("label")}});
  ASSERT_EQ(properties.signature(), QStringLiteral("a(ia{sv})"));
  EXPECT_EQ(
      readItems(properties.arguments().value(0)),
      (QMap<int, QVariantMap>{{1, {{QStringLiteral("label"), QStringLiteral("_About Pulsewell")}}},
                              {4, {{QStringLiteral("label"), QStringLiteral("_Quit")}}}}));

  EXPECT_EQ(call(QStringLiteral("GetProperty"), {99, QStringLiteral("label")}).type(),
            QDBusMessage::ErrorMessage);
  EXPECT_EQ(call(QStringLiteral("GetLayout"), {99, -1, QStringList()}).type(),
            QDBusMessage::ErrorMessage);

  const QDBusMessage all = call(QStringLiteral("GetAll"), {kMenuInterface},
                                QStringLiteral("org.freedesktop.DBus.Properties"));
  const auto menu = qdbus_cast<QVariantMap>(all.arguments().value(0));
  EXPECT_EQ(menu.value(QStringLiteral("Version")), QVariant(3U));
  EXPECT_EQ(menu.value(QStringLiteral("TextDirection")), QStringLiteral("ltr"));
  EXPECT_EQ(menu.value(QStringLiteral("Status")), QStringLiteral("normal"));
  EXPECT_EQ(menu.value(QStringLiteral("IconThemePath")), QStringList());
}

}  // namespace
}  // namespace pulsewell
