#include "platform/qt/dbus_menu_exporter.h"

#include <QAction>
#include <QActionGroup>
#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QKeySequence>
#include <QStringList>
#include <algorithm>
#include <array>
#include <utility>

namespace pulsewell::dbusmenu {

// (ia{sv}): an item's id and properties.
struct Item {
  int id = 0;
  QVariantMap properties;
};
using ItemList = QList<Item>;

// (ias): an item's id and the names of properties back at their defaults.
struct ItemKeys {
  int id = 0;
  QStringList names;
};
using ItemKeysList = QList<ItemKeys>;

// (ia{sv}av): an item with its children, each child a variant holding the same struct.
struct LayoutItem {
  int id = 0;
  QVariantMap properties;
  QList<LayoutItem> children;
};

// (isvu): one event of EventGroup.
struct Event {
  int id = 0;
  QString eventId;
  QDBusVariant data;
  uint timestamp = 0;
};
using EventList = QList<Event>;

// aas: one list of modifiers and key per key press.
using Shortcut = QList<QStringList>;

}  // namespace pulsewell::dbusmenu

Q_DECLARE_METATYPE(pulsewell::dbusmenu::Item)
Q_DECLARE_METATYPE(pulsewell::dbusmenu::ItemKeys)
Q_DECLARE_METATYPE(pulsewell::dbusmenu::LayoutItem)
Q_DECLARE_METATYPE(pulsewell::dbusmenu::Event)

namespace pulsewell::dbusmenu {

QDBusArgument& operator<<(QDBusArgument& argument, const Item& item) {
  argument.beginStructure();
  argument << item.id << item.properties;
  argument.endStructure();
  return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, Item& item) {
  argument.beginStructure();
  argument >> item.id >> item.properties;
  argument.endStructure();
  return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const ItemKeys& keys) {
  argument.beginStructure();
  argument << keys.id << keys.names;
  argument.endStructure();
  return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, ItemKeys& keys) {
  argument.beginStructure();
  argument >> keys.id >> keys.names;
  argument.endStructure();
  return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const LayoutItem& item) {
  argument.beginStructure();
  argument << item.id << item.properties;
  // The children are variants, so the type can nest without a recursive signature.
  argument.beginArray(QMetaType::fromType<QDBusVariant>());
  for (const LayoutItem& child : item.children)
    argument << QDBusVariant(QVariant::fromValue(child));
  argument.endArray();
  argument.endStructure();
  return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, LayoutItem& item) {
  argument.beginStructure();
  argument >> item.id >> item.properties;
  argument.beginArray();
  item.children.clear();
  while (!argument.atEnd()) {
    QDBusVariant child;
    argument >> child;
    LayoutItem childItem;
    child.variant().value<QDBusArgument>() >> childItem;
    item.children.append(childItem);
  }
  argument.endArray();
  argument.endStructure();
  return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const Event& event) {
  argument.beginStructure();
  argument << event.id << event.eventId << event.data << event.timestamp;
  argument.endStructure();
  return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, Event& event) {
  argument.beginStructure();
  argument >> event.id >> event.eventId >> event.data >> event.timestamp;
  argument.endStructure();
  return argument;
}

namespace {

void registerTypes() {
  static const bool registered = [] {
    qDBusRegisterMetaType<Item>();
    qDBusRegisterMetaType<ItemList>();
    qDBusRegisterMetaType<ItemKeys>();
    qDBusRegisterMetaType<ItemKeysList>();
    qDBusRegisterMetaType<LayoutItem>();
    qDBusRegisterMetaType<Event>();
    qDBusRegisterMetaType<EventList>();
    qDBusRegisterMetaType<Shortcut>();
    return true;
  }();
  (void)registered;
}

// Qt marks the access key with '&' and writes a literal one as "&&"; dbusmenu marks it
// with '_' and writes a literal one as "__".
QString label(const QString& text) {
  QString result;
  result.reserve(text.size());
  bool marked = false;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text.at(i);
    if (c == u'_') {
      result += QStringLiteral("__");
    } else if (c != u'&') {
      result += c;
    } else if (i + 1 < text.size() && text.at(i + 1) == u'&') {
      result += u'&';
      ++i;
    } else if (!marked && i + 1 < text.size()) {
      result += u'_';
      marked = true;
    }
  }
  return result;
}

struct KeyName {
  Qt::Key key;
  const char* name;
};

// X keysym names where Qt's portable text differs from them.
constexpr std::array kKeyNames{
    KeyName{Qt::Key_Space, "space"},
    KeyName{Qt::Key_Exclam, "exclam"},
    KeyName{Qt::Key_QuoteDbl, "quotedbl"},
    KeyName{Qt::Key_NumberSign, "numbersign"},
    KeyName{Qt::Key_Dollar, "dollar"},
    KeyName{Qt::Key_Percent, "percent"},
    KeyName{Qt::Key_Ampersand, "ampersand"},
    KeyName{Qt::Key_Apostrophe, "apostrophe"},
    KeyName{Qt::Key_ParenLeft, "parenleft"},
    KeyName{Qt::Key_ParenRight, "parenright"},
    KeyName{Qt::Key_Asterisk, "asterisk"},
    KeyName{Qt::Key_Plus, "plus"},
    KeyName{Qt::Key_Comma, "comma"},
    KeyName{Qt::Key_Minus, "minus"},
    KeyName{Qt::Key_Period, "period"},
    KeyName{Qt::Key_Slash, "slash"},
    KeyName{Qt::Key_Colon, "colon"},
    KeyName{Qt::Key_Semicolon, "semicolon"},
    KeyName{Qt::Key_Less, "less"},
    KeyName{Qt::Key_Equal, "equal"},
    KeyName{Qt::Key_Greater, "greater"},
    KeyName{Qt::Key_Question, "question"},
    KeyName{Qt::Key_At, "at"},
    KeyName{Qt::Key_BracketLeft, "bracketleft"},
    KeyName{Qt::Key_Backslash, "backslash"},
    KeyName{Qt::Key_BracketRight, "bracketright"},
    KeyName{Qt::Key_AsciiCircum, "asciicircum"},
    KeyName{Qt::Key_Underscore, "underscore"},
    KeyName{Qt::Key_QuoteLeft, "grave"},
    KeyName{Qt::Key_BraceLeft, "braceleft"},
    KeyName{Qt::Key_Bar, "bar"},
    KeyName{Qt::Key_BraceRight, "braceright"},
    KeyName{Qt::Key_AsciiTilde, "asciitilde"},
    KeyName{Qt::Key_Escape, "Escape"},
    KeyName{Qt::Key_Backspace, "BackSpace"},
    KeyName{Qt::Key_Enter, "KP_Enter"},
    KeyName{Qt::Key_Insert, "Insert"},
    KeyName{Qt::Key_Delete, "Delete"},
    KeyName{Qt::Key_PageUp, "Page_Up"},
    KeyName{Qt::Key_PageDown, "Page_Down"},
    KeyName{Qt::Key_SysReq, "Sys_Req"},
};

// GTK hosts look the key up as a keysym, where "Q" would mean Shift+q.
QString keyName(Qt::Key key) {
  if (key >= Qt::Key_A && key <= Qt::Key_Z) return QString(QChar(u'a' + (key - Qt::Key_A)));
  const auto* known = std::find_if(kKeyNames.begin(), kKeyNames.end(),
                                   [key](const KeyName& entry) { return entry.key == key; });
  if (known != kKeyNames.end()) return QString::fromLatin1(known->name);
  // F1, Tab, Home, Left, Return, digits: Qt already uses the keysym's name.
  return QKeySequence(key).toString(QKeySequence::PortableText);
}

Shortcut shortcut(const QKeySequence& sequence) {
  Shortcut presses;
  for (int i = 0; i < sequence.count(); ++i) {
    const QKeyCombination combination = sequence[static_cast<uint>(i)];
    const Qt::KeyboardModifiers modifiers = combination.keyboardModifiers();
    QStringList press;
    if (modifiers & Qt::ControlModifier) press << QStringLiteral("Control");
    if (modifiers & Qt::AltModifier) press << QStringLiteral("Alt");
    if (modifiers & Qt::ShiftModifier) press << QStringLiteral("Shift");
    if (modifiers & Qt::MetaModifier) press << QStringLiteral("Super");
    press << keyName(combination.key());
    presses << press;
  }
  return presses;
}

// Only what differs from dbusmenu's defaults, as hosts expect.
QVariantMap itemProperties(const QAction& action) {
  QVariantMap properties;
  if (action.isSeparator()) {
    properties.insert(QStringLiteral("type"), QStringLiteral("separator"));
  } else {
    properties.insert(QStringLiteral("label"), label(action.text()));
    if (!action.isEnabled()) properties.insert(QStringLiteral("enabled"), false);
    if (!action.shortcut().isEmpty())
      properties.insert(QStringLiteral("shortcut"),
                        QVariant::fromValue(shortcut(action.shortcut())));
    if (action.isCheckable()) {
      const QActionGroup* group = action.actionGroup();
      const bool radio =
          group != nullptr && group->exclusionPolicy() != QActionGroup::ExclusionPolicy::None;
      properties.insert(QStringLiteral("toggle-type"),
                        radio ? QStringLiteral("radio") : QStringLiteral("checkmark"));
      properties.insert(QStringLiteral("toggle-state"), action.isChecked() ? 1 : 0);
    }
  }
  if (!action.isVisible()) properties.insert(QStringLiteral("visible"), false);
  return properties;
}

QVariantMap rootProperties() {
  return {{QStringLiteral("children-display"), QStringLiteral("submenu")}};
}

QVariantMap only(const QVariantMap& properties, const QStringList& names) {
  if (names.isEmpty()) return properties;
  QVariantMap result;
  for (const QString& name : names) {
    const auto found = properties.constFind(name);
    if (found != properties.constEnd()) result.insert(name, found.value());
  }
  return result;
}

}  // namespace
}  // namespace pulsewell::dbusmenu

namespace pulsewell {

class DBusMenuAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
  Q_CLASSINFO("D-Bus Introspection",
              "  <interface name=\"com.canonical.dbusmenu\">\n"
              "    <annotation name=\"org.freedesktop.DBus.Property.EmitsChangedSignal\" "
              "value=\"false\"/>\n"
              "    <property name=\"Version\" type=\"u\" access=\"read\"/>\n"
              "    <property name=\"TextDirection\" type=\"s\" access=\"read\"/>\n"
              "    <property name=\"Status\" type=\"s\" access=\"read\"/>\n"
              "    <property name=\"IconThemePath\" type=\"as\" access=\"read\"/>\n"
              "    <method name=\"GetLayout\">\n"
              "      <arg name=\"parentId\" type=\"i\" direction=\"in\"/>\n"
              "      <arg name=\"recursionDepth\" type=\"i\" direction=\"in\"/>\n"
              "      <arg name=\"propertyNames\" type=\"as\" direction=\"in\"/>\n"
              "      <arg name=\"revision\" type=\"u\" direction=\"out\"/>\n"
              "      <arg name=\"layout\" type=\"(ia{sv}av)\" direction=\"out\"/>\n"
              "    </method>\n"
              "    <method name=\"GetGroupProperties\">\n"
              "      <arg name=\"ids\" type=\"ai\" direction=\"in\"/>\n"
              "      <arg name=\"propertyNames\" type=\"as\" direction=\"in\"/>\n"
              "      <arg name=\"properties\" type=\"a(ia{sv})\" direction=\"out\"/>\n"
              "    </method>\n"
              "    <method name=\"GetProperty\">\n"
              "      <arg name=\"id\" type=\"i\" direction=\"in\"/>\n"
              "      <arg name=\"name\" type=\"s\" direction=\"in\"/>\n"
              "      <arg name=\"value\" type=\"v\" direction=\"out\"/>\n"
              "    </method>\n"
              "    <method name=\"Event\">\n"
              "      <arg name=\"id\" type=\"i\" direction=\"in\"/>\n"
              "      <arg name=\"eventId\" type=\"s\" direction=\"in\"/>\n"
              "      <arg name=\"data\" type=\"v\" direction=\"in\"/>\n"
              "      <arg name=\"timestamp\" type=\"u\" direction=\"in\"/>\n"
              "    </method>\n"
              "    <method name=\"EventGroup\">\n"
              "      <arg name=\"events\" type=\"a(isvu)\" direction=\"in\"/>\n"
              "      <arg name=\"idErrors\" type=\"ai\" direction=\"out\"/>\n"
              "    </method>\n"
              "    <method name=\"AboutToShow\">\n"
              "      <arg name=\"id\" type=\"i\" direction=\"in\"/>\n"
              "      <arg name=\"needUpdate\" type=\"b\" direction=\"out\"/>\n"
              "    </method>\n"
              "    <method name=\"AboutToShowGroup\">\n"
              "      <arg name=\"ids\" type=\"ai\" direction=\"in\"/>\n"
              "      <arg name=\"updatesNeeded\" type=\"ai\" direction=\"out\"/>\n"
              "      <arg name=\"idErrors\" type=\"ai\" direction=\"out\"/>\n"
              "    </method>\n"
              "    <signal name=\"ItemsPropertiesUpdated\">\n"
              "      <arg name=\"updatedProps\" type=\"a(ia{sv})\" direction=\"out\"/>\n"
              "      <arg name=\"removedProps\" type=\"a(ias)\" direction=\"out\"/>\n"
              "    </signal>\n"
              "    <signal name=\"LayoutUpdated\">\n"
              "      <arg name=\"revision\" type=\"u\" direction=\"out\"/>\n"
              "      <arg name=\"parent\" type=\"i\" direction=\"out\"/>\n"
              "    </signal>\n"
              "    <signal name=\"ItemActivationRequested\">\n"
              "      <arg name=\"id\" type=\"i\" direction=\"out\"/>\n"
              "      <arg name=\"timestamp\" type=\"u\" direction=\"out\"/>\n"
              "    </signal>\n"
              "  </interface>\n")
  Q_PROPERTY(uint Version READ version)
  Q_PROPERTY(QString TextDirection READ textDirection)
  Q_PROPERTY(QString Status READ status)
  Q_PROPERTY(QStringList IconThemePath READ iconThemePath)

 public:
  explicit DBusMenuAdaptor(DBusMenuExporter* exporter)
      : QDBusAbstractAdaptor(exporter), exporter_(exporter) {}

  static uint version() { return 3; }
  static QString textDirection() {
    return QGuiApplication::layoutDirection() == Qt::RightToLeft ? QStringLiteral("rtl")
                                                                 : QStringLiteral("ltr");
  }
  static QString status() { return QStringLiteral("normal"); }
  static QStringList iconThemePath() { return {}; }

  // QtDBus matches parameters by their registered type names, so no aliases here.
 public Q_SLOTS:
  uint GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                 const QDBusMessage& message, pulsewell::dbusmenu::LayoutItem& layout) {
    const std::optional<QVariantMap> properties = exporter_->properties(parentId);
    if (!properties) {
      unknownItem(message, parentId);
      return 0;
    }
    layout = {parentId, dbusmenu::only(*properties, propertyNames), {}};
    if (parentId == 0 && recursionDepth != 0) {
      for (const DBusMenuExporter::Entry& entry : exporter_->entries_) {
        if (entry.action == nullptr) continue;
        layout.children.append(
            {entry.id, dbusmenu::only(dbusmenu::itemProperties(*entry.action), propertyNames), {}});
      }
    }
    return exporter_->revision_;
  }

  QList<pulsewell::dbusmenu::Item> GetGroupProperties(const QList<int>& ids,
                                                      const QStringList& propertyNames) {
    QList<int> wanted = ids;
    if (wanted.isEmpty()) {
      wanted << 0;
      for (const DBusMenuExporter::Entry& entry : exporter_->entries_)
        wanted << entry.id;
    }
    dbusmenu::ItemList items;
    for (const int id : wanted) {
      if (const std::optional<QVariantMap> properties = exporter_->properties(id))
        items.append({id, dbusmenu::only(*properties, propertyNames)});
    }
    return items;
  }

  QDBusVariant GetProperty(int id, const QString& name, const QDBusMessage& message) {
    const std::optional<QVariantMap> properties = exporter_->properties(id);
    if (!properties) {
      unknownItem(message, id);
      return {};
    }
    const auto found = properties->constFind(name);
    if (found == properties->constEnd()) {
      reject(message, QStringLiteral("Item %1 has no property %2").arg(id).arg(name));
      return {};
    }
    return QDBusVariant(found.value());
  }

  void Event(int id, const QString& eventId, const QDBusVariant& data, uint timestamp) {
    (void)data;
    (void)timestamp;
    if (eventId == QLatin1String("clicked")) exporter_->trigger(id);
  }

  QList<int> EventGroup(const QList<pulsewell::dbusmenu::Event>& events,
                        const QDBusMessage& message) {
    QList<int> idErrors;
    for (const dbusmenu::Event& event : events) {
      if (exporter_->properties(event.id)) {
        if (event.eventId == QLatin1String("clicked")) exporter_->trigger(event.id);
      } else {
        idErrors << event.id;
      }
    }
    if (!events.isEmpty() && idErrors.size() == events.size())
      reject(message, QStringLiteral("None of the items exist"));
    return idErrors;
  }

  bool AboutToShow(int id) {
    (void)id;
    return false;
  }

  QList<int> AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors) {
    for (const int id : ids) {
      if (!exporter_->properties(id)) idErrors << id;
    }
    return {};
  }

 Q_SIGNALS:
  // Unnamed: moc defines these, and its names would differ. Named in the XML above.
  void ItemsPropertiesUpdated(const QList<pulsewell::dbusmenu::Item>&,
                              const QList<pulsewell::dbusmenu::ItemKeys>&);
  void LayoutUpdated(uint, int);
  void ItemActivationRequested(int, uint);

 private:
  void reject(const QDBusMessage& message, const QString& text) const {
    message.setDelayedReply(true);
    exporter_->bus_.send(message.createErrorReply(QDBusError::InvalidArgs, text));
  }

  void unknownItem(const QDBusMessage& message, int id) const {
    reject(message, QStringLiteral("No menu item %1").arg(id));
  }

  DBusMenuExporter* exporter_;
};

DBusMenuExporter::DBusMenuExporter(const QDBusConnection& bus, const QString& objectPath,
                                   QObject* parent)
    : QObject(parent), bus_(bus), objectPath_(objectPath), adaptor_(new DBusMenuAdaptor(this)) {
  dbusmenu::registerTypes();
  exported_ = bus_.registerObject(objectPath_, this, QDBusConnection::ExportAdaptors);
}

DBusMenuExporter::~DBusMenuExporter() {
  if (exported_) bus_.unregisterObject(objectPath_);
}

void DBusMenuExporter::setActions(const QList<QAction*>& actions) {
  if (actions == this->actions()) return;
  std::vector<Entry> entries;
  entries.reserve(static_cast<std::size_t>(actions.size()));
  for (QAction* action : actions) {
    if (action == nullptr) continue;
    const auto kept = std::find_if(entries_.begin(), entries_.end(),
                                   [action](const Entry& entry) { return entry.action == action; });
    const int id = kept != entries_.end() ? kept->id : nextId_++;
    entries.push_back({action, id, dbusmenu::itemProperties(*action)});
  }
  for (const Entry& entry : entries_) {
    if (entry.action != nullptr) disconnect(entry.action, nullptr, this, nullptr);
  }
  entries_ = std::move(entries);
  for (const Entry& entry : entries_) {
    const int id = entry.id;
    connect(entry.action, &QAction::changed, this, [this, id] { actionChanged(id); });
    connect(entry.action, &QAction::toggled, this, [this, id] { actionChanged(id); });
    connect(entry.action, &QObject::destroyed, this, [this, id] { actionDestroyed(id); });
  }
  layoutChanged();
}

QList<QAction*> DBusMenuExporter::actions() const {
  QList<QAction*> result;
  for (const Entry& entry : entries_) {
    if (entry.action != nullptr) result << entry.action;
  }
  return result;
}

const DBusMenuExporter::Entry* DBusMenuExporter::entry(int id) const {
  const auto found = std::find_if(entries_.begin(), entries_.end(), [id](const Entry& entry) {
    return entry.id == id && entry.action != nullptr;
  });
  return found != entries_.end() ? &*found : nullptr;
}

std::optional<QVariantMap> DBusMenuExporter::properties(int id) const {
  if (id == 0) return dbusmenu::rootProperties();
  const Entry* found = entry(id);
  if (found == nullptr) return std::nullopt;
  return dbusmenu::itemProperties(*found->action);
}

bool DBusMenuExporter::trigger(int id) {
  const Entry* found = entry(id);
  if (found == nullptr) return false;
  // The host is waiting for the reply; whatever the action does comes after it.
  QMetaObject::invokeMethod(
      found->action,
      [action = found->action] {
        if (action != nullptr && action->isEnabled() && !action->isSeparator()) action->trigger();
      },
      Qt::QueuedConnection);
  return true;
}

void DBusMenuExporter::actionChanged(int id) {
  const auto found = std::find_if(entries_.begin(), entries_.end(),
                                  [id](const Entry& entry) { return entry.id == id; });
  if (found == entries_.end() || found->action == nullptr) return;
  const QVariantMap now = dbusmenu::itemProperties(*found->action);
  dbusmenu::Item updated{id, {}};
  dbusmenu::ItemKeys removed{id, {}};
  for (auto it = now.constBegin(); it != now.constEnd(); ++it) {
    if (found->published.value(it.key()) != it.value()) updated.properties.insert(it.key(), *it);
  }
  for (auto it = found->published.constBegin(); it != found->published.constEnd(); ++it) {
    if (!now.contains(it.key())) removed.names << it.key();
  }
  if (updated.properties.isEmpty() && removed.names.isEmpty()) return;
  found->published = now;
  dbusmenu::ItemList updatedList;
  if (!updated.properties.isEmpty()) updatedList << updated;
  dbusmenu::ItemKeysList removedList;
  if (!removed.names.isEmpty()) removedList << removed;
  Q_EMIT adaptor_->ItemsPropertiesUpdated(updatedList, removedList);
}

void DBusMenuExporter::actionDestroyed(int id) {
  std::erase_if(entries_, [id](const Entry& entry) { return entry.id == id; });
  layoutChanged();
}

void DBusMenuExporter::layoutChanged() {
  ++revision_;
  Q_EMIT adaptor_->LayoutUpdated(revision_, 0);
}

}  // namespace pulsewell

#include "dbus_menu_exporter.moc"
