#include "menubar/qt/popover_window.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

namespace pulsewell {

PopoverWindow::PopoverWindow(QWidget* parent)
    : QWidget(parent, Qt::Popup | Qt::FramelessWindowHint),
      closesOnFocusLoss_(QGuiApplication::platformName() == QLatin1String("wayland") ||
                         !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
  setObjectName(QStringLiteral("popover"));
  setAttribute(Qt::WA_QuitOnClose, false);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  // The window follows its content's size, e.g. when a button appears.
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

PopoverWindow::~PopoverWindow() = default;

bool PopoverWindow::isOpen() const {
  return isVisible();
}

void PopoverWindow::open(QWidget* content, const QRect& anchor, const QPoint& cursor) {
  if (content_ != nullptr) delete content_;
  content_ = content;
  content->setParent(this);
  layout()->addWidget(content);
  content->show();
  layout()->activate();
  adjustSize();

  const QPoint point = anchor.isEmpty() ? cursor : anchor.center();
  QScreen* screen = QGuiApplication::screenAt(point);
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  const QRect available = screen != nullptr ? screen->availableGeometry() : QRect();
  move(placement(anchor, cursor, size(), available));
  wasActive_ = false;
  show();
  raise();
  activateWindow();
  setFocus(Qt::PopupFocusReason);
}

QPoint PopoverWindow::placement(const QRect& anchor, const QPoint& cursor, const QSize& size,
                                const QRect& available) {
  const QRect from = anchor.isEmpty() ? QRect(cursor, QSize(1, 1)) : anchor;
  int x = from.center().x() - size.width() / 2;
  int y = from.bottom() + 1 + gap;
  if (available.isEmpty()) return {x, y};

  // A panel at the bottom of the screen: open upward.
  if (y + size.height() > available.bottom() + 1) y = from.top() - gap - size.height();
  // Right and bottom first, so that a popover larger than the screen keeps its top left
  // corner visible.
  x = std::max(std::min(x, available.right() + 1 - size.width()), available.left());
  y = std::max(std::min(y, available.bottom() + 1 - size.height()), available.top());
  return {x, y};
}

void PopoverWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

void PopoverWindow::mousePressEvent(QMouseEvent* event) {
  const bool outside = !rect().contains(event->position().toPoint());
  const QPoint global = event->globalPosition().toPoint();
  const Qt::MouseButton button = event->button();
  QWidget::mousePressEvent(event);  // a press outside closes the popup
  if (outside) Q_EMIT closedByPressOutside(global, button);
}

void PopoverWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() != QEvent::ActivationChange || !closesOnFocusLoss_) return;
  if (isActiveWindow()) {
    wasActive_ = true;
  } else if (wasActive_ && isVisible()) {
    close();
  }
}

void PopoverWindow::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  if (content_ != nullptr) {
    // Later: the content may be in the middle of handling the event that closed us.
    content_->hide();
    content_->deleteLater();
    content_ = nullptr;
  }
  Q_EMIT closed();
}

}  // namespace pulsewell
