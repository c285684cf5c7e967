#pragma once

#include <QTimer>
#include <QWidget>

namespace pulsewell {

// A small indeterminate busy indicator: spokes that fade around a circle. It only
// animates while shown.
class SettingsSpinner : public QWidget {
  Q_OBJECT

 public:
  explicit SettingsSpinner(QWidget* parent = nullptr);

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  QTimer timer_;
  int step_ = 0;
};

}  // namespace pulsewell
