#pragma once

#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QWidget>

namespace pulsewell {

// The transient window around the popover's content: frameless, placed under the panel
// entry (at the cursor when the panel reports no position), kept inside the screen's
// available area. It closes on a click elsewhere or on Escape, and drops its content when
// it closes, so every opening starts from a fresh view.
class PopoverWindow : public QWidget {
  Q_OBJECT

 public:
  // Space between the panel entry and the popover.
  static constexpr int gap = 4;

  explicit PopoverWindow(QWidget* parent = nullptr);
  ~PopoverWindow() override;

  // Takes `content` and shows it below `anchor` (global coordinates; an empty rectangle
  // means the panel reported none, and `cursor` is used instead).
  void open(QWidget* content, const QRect& anchor, const QPoint& cursor);
  bool isOpen() const;
  // The content while open, else null.
  QWidget* content() const { return content_; }

  // Where a popover of `size` goes: centred under `anchor`, or above it when there is no
  // room below, moved into `available` as far as it fits.
  static QPoint placement(const QRect& anchor, const QPoint& cursor, const QSize& size,
                          const QRect& available);

 Q_SIGNALS:
  void closed();
  // A press outside closed the popover; `button` was pressed at `globalPosition`.
  void closedByPressOutside(QPoint globalPosition, Qt::MouseButton button);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  QPointer<QWidget> content_;
  // On Wayland (and Xwayland) no pointer grab tells us of a click elsewhere; losing the
  // keyboard focus does.
  bool closesOnFocusLoss_;
  bool wasActive_ = false;
};

}  // namespace pulsewell
