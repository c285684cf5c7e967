#pragma once

#include <QByteArray>
#include <QDBusArgument>
#include <QImage>
#include <QList>
#include <QMetaType>
#include <QString>

namespace pulsewell {

// One size of an icon the way tray hosts read it: ARGB32, not premultiplied, every pixel's
// bytes in network order (A, R, G, B). D-Bus type (iiay).
struct DBusImage {
  int width = 0;
  int height = 0;
  QByteArray bytes;

  // Whatever the image's format; its pixel size, not its device-independent size.
  static DBusImage fromImage(const QImage& image);

  friend bool operator==(const DBusImage&, const DBusImage&) = default;
};

using DBusImageList = QList<DBusImage>;

// An item's tooltip: icon name, icon pixmaps, title, body. D-Bus type (sa(iiay)ss).
struct DBusToolTip {
  QString iconName;
  DBusImageList iconPixmap;
  QString title;
  QString body;

  friend bool operator==(const DBusToolTip&, const DBusToolTip&) = default;
};

QDBusArgument& operator<<(QDBusArgument& argument, const DBusImage& image);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusImage& image);
QDBusArgument& operator<<(QDBusArgument& argument, const DBusToolTip& toolTip);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusToolTip& toolTip);

// Makes the types above known to QtDBus; any number of calls, the first one counts.
void registerDBusImageTypes();

}  // namespace pulsewell

Q_DECLARE_METATYPE(pulsewell::DBusImage)
Q_DECLARE_METATYPE(pulsewell::DBusToolTip)
