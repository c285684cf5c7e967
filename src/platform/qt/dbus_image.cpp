#include "platform/qt/dbus_image.h"

#include <QDBusMetaType>
#include <QtEndian>

namespace pulsewell {

DBusImage DBusImage::fromImage(const QImage& image) {
  const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
  DBusImage result{argb.width(), argb.height(), {}};
  result.bytes.resize(qsizetype{argb.width()} * argb.height() * 4);
  char* out = result.bytes.data();
  for (int y = 0; y < argb.height(); ++y) {
    // Format_ARGB32 holds each pixel as a native 0xAARRGGBB word.
    const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
    for (int x = 0; x < argb.width(); ++x) {
      qToBigEndian<quint32>(line[x], out);
      out += 4;
    }
  }
  return result;
}

QDBusArgument& operator<<(QDBusArgument& argument, const DBusImage& image) {
  argument.beginStructure();
  argument << image.width << image.height << image.bytes;
  argument.endStructure();
  return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, DBusImage& image) {
  argument.beginStructure();
  argument >> image.width >> image.height >> image.bytes;
  argument.endStructure();
  return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const DBusToolTip& toolTip) {
  argument.beginStructure();
  argument << toolTip.iconName << toolTip.iconPixmap << toolTip.title << toolTip.body;
  argument.endStructure();
  return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, DBusToolTip& toolTip) {
  argument.beginStructure();
  argument >> toolTip.iconName >> toolTip.iconPixmap >> toolTip.title >> toolTip.body;
  argument.endStructure();
  return argument;
}

void registerDBusImageTypes() {
  static const bool registered = [] {
    qDBusRegisterMetaType<DBusImage>();
    qDBusRegisterMetaType<DBusImageList>();
    qDBusRegisterMetaType<DBusToolTip>();
    return true;
  }();
  (void)registered;
}

}  // namespace pulsewell
