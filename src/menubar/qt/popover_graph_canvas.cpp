#include "menubar/qt/popover_graph_canvas.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <utility>

#include "menubar/qt/popover_style.h"

namespace pulsewell {

namespace {

constexpr qreal cornerRadius = 6;

QPolygonF polygon(const std::vector<GraphPoint>& points) {
  QPolygonF result;
  result.reserve(static_cast<qsizetype>(points.size()));
  for (const GraphPoint& p : points)
    result.append(QPointF(p.x, p.y));
  return result;
}

void fillArea(QPainter& painter, const std::vector<GraphPoint>& points, const QColor& colour) {
  if (points.empty()) return;
  QPainterPath path;
  path.setFillRule(Qt::WindingFill);
  path.addPolygon(polygon(points));
  path.closeSubpath();
  painter.fillPath(path, colour);
}

}  // namespace

PopoverGraphCanvas::PopoverGraphCanvas(QWidget* parent) : QWidget(parent) {
  setFixedSize(canvasWidth, canvasHeight);
  setFocusPolicy(Qt::NoFocus);
}

void PopoverGraphCanvas::setData(std::vector<double> down, std::vector<double> up, double downPeak,
                                 double upPeak) {
  down_ = std::move(down);
  up_ = std::move(up);
  downPeak_ = downPeak;
  upPeak_ = upPeak;
  update();
}

PopoverGraphLayout PopoverGraphCanvas::layout() const {
  return popoverGraphLayout(down_, up_, downPeak_, upPeak_, width(), height());
}

void PopoverGraphCanvas::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);

  QColor background = palette().color(QPalette::WindowText);
  background.setAlphaF(0.1F * 0.4F);
  painter.setBrush(background);
  painter.drawRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);

  const PopoverGraphLayout graph = layout();
  fillArea(painter, graph.upArea, PopoverStyle::orange());
  fillArea(painter, graph.downArea, PopoverStyle::green());
  const GraphRect& line = graph.midLine;
  painter.fillRect(QRectF(line.x, line.y, line.width, line.height), PopoverStyle::secondary());
}

}  // namespace pulsewell
