#pragma once

#include <QWidget>
#include <vector>

#include "menubar/popover_graph_layout.h"

namespace pulsewell {

// The popover's 256 × 100 graph: upload in orange above the mid line, download in green
// below it, on a faint rounded background.
class PopoverGraphCanvas : public QWidget {
  Q_OBJECT

 public:
  static constexpr int canvasWidth = 256;
  static constexpr int canvasHeight = 100;

  explicit PopoverGraphCanvas(QWidget* parent = nullptr);

  // Histories in bytes per second, oldest first, and the rates that fill each half.
  void setData(std::vector<double> down, std::vector<double> up, double downPeak, double upPeak);
  // What the next paint draws.
  PopoverGraphLayout layout() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::vector<double> down_;
  std::vector<double> up_;
  double downPeak_ = 1;
  double upPeak_ = 1;
};

}  // namespace pulsewell
