#pragma once

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>
#include <optional>
#include <vector>

class QAction;

namespace pulsewell {

class DBusMenuAdaptor;

// Puts a flat list of QActions on the bus as a com.canonical.dbusmenu (version 3) menu,
// for tray hosts to draw themselves. The root is item 0; an action keeps its item id for
// as long as it stays in the list. Separator actions become separators. Clicks from the
// host trigger the action on a later turn of the event loop, after the host has its reply.
// Lives on the bus connection's thread (the GUI thread).
class DBusMenuExporter : public QObject {
  Q_OBJECT

 public:
  DBusMenuExporter(const QDBusConnection& bus, const QString& objectPath,
                   QObject* parent = nullptr);
  ~DBusMenuExporter() override;
  DBusMenuExporter(const DBusMenuExporter&) = delete;
  DBusMenuExporter& operator=(const DBusMenuExporter&) = delete;

  // The actions stay the caller's; one destroyed leaves the menu.
  void setActions(const QList<QAction*>& actions);
  QList<QAction*> actions() const;

  QString objectPath() const { return objectPath_; }
  // False when the path was taken on this connection already.
  bool isExported() const { return exported_; }

 private:
  friend class DBusMenuAdaptor;

  struct Entry {
    QPointer<QAction> action;
    int id = 0;
    QVariantMap published;  // what hosts were last told, to send only what changed
  };

  const Entry* entry(int id) const;
  std::optional<QVariantMap> properties(int id) const;
  bool trigger(int id);
  void actionChanged(int id);
  void actionDestroyed(int id);
  void layoutChanged();

  QDBusConnection bus_;
  QString objectPath_;
  DBusMenuAdaptor* adaptor_;
  std::vector<Entry> entries_;
  int nextId_ = 1;
  uint revision_ = 1;
  bool exported_ = false;
};

}  // namespace pulsewell
