#include "app/qt/settings_spinner.h"

#include <QPainter>
#include <QPen>

namespace pulsewell {

namespace {

constexpr int spokes = 12;
constexpr int side = 16;
constexpr int frameMilliseconds = 80;

}  // namespace

SettingsSpinner::SettingsSpinner(QWidget* parent) : QWidget(parent) {
  setFixedSize(side, side);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  timer_.setInterval(frameMilliseconds);
  QObject::connect(&timer_, &QTimer::timeout, this, [this] {
    step_ = (step_ + 1) % spokes;
    update();
  });
}

QSize SettingsSpinner::sizeHint() const {
  return {side, side};
}

void SettingsSpinner::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.translate(width() / 2.0, height() / 2.0);
  const qreal radius = qMin(width(), height()) / 2.0;
  QColor colour = palette().color(QPalette::WindowText);
  for (int i = 0; i < spokes; ++i) {
    // The newest spoke is darkest; the ones behind it fade out.
    const int age = (step_ - i + spokes) % spokes;
    colour.setAlphaF(static_cast<float>(1.0 - 0.8 * age / spokes));
    painter.setPen(QPen(colour, 1.6, Qt::SolidLine, Qt::RoundCap));
    painter.save();
    painter.rotate(360.0 * i / spokes);
    painter.drawLine(QPointF(0, -radius * 0.45), QPointF(0, -radius * 0.9));
    painter.restore();
  }
}

void SettingsSpinner::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  timer_.start();
}

void SettingsSpinner::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  timer_.stop();
}

}  // namespace pulsewell
