#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QImage>
#include <QString>
#include <QWidget>

namespace pulsewell::test {

// Saves `image` as artifacts/`folder`/`file` in the build folder, for people to look at.
inline void saveArtifact(const QImage& image, const QString& folder, const QString& file) {
  const QString path = QStringLiteral(PULSEWELL_BINARY_DIR "/artifacts/") + folder;
  ASSERT_TRUE(QDir().mkpath(path));
  EXPECT_TRUE(image.save(path + QLatin1Char('/') + file)) << file.toStdString();
}

// Lays `widget` out as it is shown and saves its picture the same way.
inline void saveArtifact(QWidget& widget, const QString& folder, const QString& file) {
  QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
  saveArtifact(widget.grab().toImage(), folder, file);
}

}  // namespace pulsewell::test
