#include "menubar/qt/router_menu_bar_graph.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPolygonF>
#include <QStringList>
#include <QTransform>
#include <algorithm>
#include <array>
#include <cmath>
#include <utility>
#include <vector>

#include "menubar/qt/system_colours.h"
#include "menubar/router_menu_bar_graph_layout.h"

namespace pulsewell::RouterMenuBarGraph {

namespace {

namespace Layout = RouterMenuBarGraphLayout;

// Fonts are sized in points and every image is given 72 dots per inch, so that one point is
// exactly one device-independent pixel, whatever the screen's logical DPI is.
constexpr int dotsPerMeterAt72Dpi = 2835;

QString toQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Measurements are taken on a device with the same resolution as the images drawn.
const QPaintDevice& metricsDevice() {
  static const QImage device = [] {
    QImage image(1, 1, QImage::Format_ARGB32_Premultiplied);
    image.setDotsPerMeterX(dotsPerMeterAt72Dpi);
    image.setDotsPerMeterY(dotsPerMeterAt72Dpi);
    return image;
  }();
  return device;
}

QFontMetricsF metrics(const QFont& font) {
  return QFontMetricsF(font, &metricsDevice());
}

bool hasEqualDigits(const QFont& font) {
  const QFontMetricsF fontMetrics = metrics(font);
  const qreal zero = fontMetrics.horizontalAdvance(QLatin1Char('0'));
  for (char digit = '1'; digit <= '9'; ++digit) {
    if (std::abs(fontMetrics.horizontalAdvance(QLatin1Char(digit)) - zero) > 0.01) return false;
  }
  return true;
}

QFont systemFont(qreal points, QFont::Weight weight) {
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPointSizeF(points);
  font.setWeight(weight);
  // Unhinted advances scale linearly, so text measured once lines up at every pixel ratio.
  font.setHintingPreference(QFont::PreferVerticalHinting);
  return font;
}

// Qt 6.4 cannot ask a font for its tabular-figures feature (QFont::setFeature came with 6.6).
// Most desktop sans fonts have tabular digits by default, so the system font is kept when
// its ten digits measure the same; otherwise the first common family that does, and as a
// last resort the system's fixed-pitch font, so the numbers never make the text jitter.
QFont makeValueFont() {
  QFont font = systemFont(10.5, QFont::DemiBold);
  if (hasEqualDigits(font)) return font;
  for (const char* family : {"DejaVu Sans", "Noto Sans", "Liberation Sans", "Roboto"}) {
    QFont candidate = font;
    candidate.setFamilies(QStringList{QString::fromLatin1(family)});
    if (QFontInfo(candidate).family() == QLatin1String(family) && hasEqualDigits(candidate)) {
      return candidate;
    }
  }
  QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  fixed.setPointSizeF(10.5);
  fixed.setWeight(QFont::DemiBold);
  fixed.setHintingPreference(QFont::PreferVerticalHinting);
  return fixed;
}

struct Colours {
  QColor label;
  QColor green;
  QColor orange;
  // Deeper on light bars, where the graph's tints are too pale for small digits.
  QColor greenText;
  QColor orangeText;
};

// The platform's label colour, and the system green and orange of the palette's appearance.
Colours colours(BarTone tone = BarTone::followPalette) {
  const QPalette palette = QGuiApplication::palette();
  const bool dark =
      tone == BarTone::followPalette ? SystemColours::darkPalette() : tone == BarTone::dark;
  QColor label = palette.color(QPalette::WindowText);
  if (tone != BarTone::followPalette)
    label = dark ? QColor(0xF2, 0xF2, 0xF2) : QColor(0x1E, 0x1E, 0x1E);
  return Colours{
      .label = label,
      .green = SystemColours::green(dark),
      .orange = SystemColours::orange(dark),
      .greenText = dark ? SystemColours::green(dark) : QColor(0x1A, 0x7F, 0x37),
      .orangeText = dark ? SystemColours::orange(dark) : QColor(0xC8, 0x5A, 0x00),
  };
}

QColor withAlpha(QColor colour, double alpha) {
  colour.setAlphaF(static_cast<float>(colour.alphaF() * alpha));
  return colour;
}

// The layout's y-up space (origin bottom left) mapped into Qt's y-down space: the one place.
class Flip {
 public:
  explicit Flip(double height) : height_(height) {}
  QPointF point(const GraphPoint& p) const { return {p.x, height_ - p.y}; }
  QRectF rect(const GraphRect& r) const { return {r.x, height_ - r.top(), r.width, r.height}; }

 private:
  double height_;
};

struct MeasuredRun {
  QString text;
  const QFont* font = nullptr;
  qreal advance = 0;
};

struct MeasuredLine {
  std::vector<MeasuredRun> runs;
  qreal ascent = 0;
  LineSize size;
};

MeasuredLine measure(std::string_view text, std::string_view arrow) {
  MeasuredLine line;
  qreal descent = 0;
  for (const LineRun& run : Layout::line(text, arrow)) {
    const QFont& font = run.font == LineFont::value ? valueFont() : unitFont();
    const QFontMetricsF fontMetrics = metrics(font);
    const QString runText = toQString(run.text);
    const qreal advance = fontMetrics.horizontalAdvance(runText);
    line.runs.push_back({runText, &font, advance});
    line.size.width += advance;
    line.ascent = std::max(line.ascent, fontMetrics.ascent());
    descent = std::max(descent, fontMetrics.descent());
  }
  line.size.height = line.ascent + descent;
  return line;
}

// The opposite of the text colour, laid thinly around glyphs so that they stay legible on
// whatever colour the panel's bar has.
QColor halo(const QColor& text) {
  return text.lightness() >= 128 ? QColor(0, 0, 0, 170) : QColor(255, 255, 255, 170);
}

void fillText(QPainter& painter, const QPainterPath& glyphs, const QColor& colour) {
  painter.setPen(QPen(halo(colour), 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(glyphs);
  painter.setPen(Qt::NoPen);
  painter.setBrush(colour);
  painter.drawPath(glyphs);
}

// Bold digits for the square, in pixels, since glyph outlines are scaled to fit anyway.
const QFont& squareFont() {
  static const QFont font = [] {
    QFont bold = valueFont();
    bold.setWeight(QFont::Bold);
    bold.setPixelSize(100);
    return bold;
  }();
  return font;
}

// One number centred in `box`: its digits fill the box's height less a pixel above and
// below, and a text too wide is narrowed rather than cut.
void drawSquareLine(QPainter& painter, const QString& text, const QRectF& box,
                    const QColor& colour) {
  static const double digitHeight = [] {
    QPainterPath digit;
    digit.addText(QPointF(0, 0), squareFont(), QStringLiteral("8"));
    return digit.boundingRect().height();
  }();
  QPainterPath glyphs;
  glyphs.addText(QPointF(0, 0), squareFont(), text);
  const QRectF ink = glyphs.boundingRect();
  if (digitHeight <= 0 || ink.width() <= 0) return;
  const double scaleY = std::max(1.0, box.height() - 2) / digitHeight;
  const double scaleX = std::min(scaleY, (box.width() - 1) / ink.width());
  QTransform place;
  place.translate(box.center().x() - (ink.left() + ink.width() / 2) * scaleX,
                  box.center().y() + digitHeight * scaleY / 2);
  place.scale(scaleX, scaleY);
  fillText(painter, place.map(glyphs), colour);
}

// `origin` is the bottom-left corner of the line's box.
void drawLine(QPainter& painter, const MeasuredLine& line, const GraphPoint& origin,
              const Flip& flip, const QColor& colour) {
  const QPointF topLeft = flip.point({origin.x, origin.y + line.size.height});
  qreal x = topLeft.x();
  const qreal baseline = topLeft.y() + line.ascent;
  QPainterPath glyphs;
  for (const MeasuredRun& run : line.runs) {
    glyphs.addText(QPointF(x, baseline), *run.font, run.text);
    x += run.advance;
  }
  fillText(painter, glyphs, colour);
}

void fillArea(QPainter& painter, const std::vector<GraphPoint>& polygon, const Flip& flip,
              const QColor& colour) {
  if (polygon.empty()) return;
  QPolygonF shape;
  shape.reserve(static_cast<qsizetype>(polygon.size()));
  for (const GraphPoint& p : polygon)
    shape << flip.point(p);
  painter.setBrush(colour);
  painter.drawPolygon(shape);
}

// Download, upload, then the mid line over both.
void drawAreas(QPainter& painter, const RouterGraphAreas& areas, const Flip& flip,
               const Colours& palette) {
  painter.setPen(Qt::NoPen);
  fillArea(painter, areas.downArea, flip, withAlpha(palette.green, areas.alpha));
  fillArea(painter, areas.upArea, flip, withAlpha(palette.orange, areas.alpha));
  painter.fillRect(flip.rect(areas.midLine), withAlpha(palette.label, areas.midLineAlpha));
}

double usableRatio(double devicePixelRatio) {
  return std::isfinite(devicePixelRatio) && devicePixelRatio > 0 ? devicePixelRatio : 1.0;
}

constexpr double mutedAlpha = 0.5;
constexpr double squareGraphAlpha = 0.3;

// Far beyond any panel; larger requests (absurd texts or ratios) get a null image instead of
// an allocation that fails.
constexpr double maximumPixels = 16384;

// A transparent image of the given size in device-independent pixels, or a null image when
// that size is unusable.
QImage blankImage(double width, double height, double devicePixelRatio) {
  const double pixelWidth = std::ceil(width * devicePixelRatio - 1e-9);
  const double pixelHeight = std::ceil(height * devicePixelRatio - 1e-9);
  if (!(pixelWidth >= 1 && pixelWidth <= maximumPixels && pixelHeight >= 1 &&
        pixelHeight <= maximumPixels)) {
    return {};
  }
  QImage image(static_cast<int>(pixelWidth), static_cast<int>(pixelHeight),
               QImage::Format_ARGB32_Premultiplied);
  if (image.isNull()) return image;
  image.setDotsPerMeterX(dotsPerMeterAt72Dpi);
  image.setDotsPerMeterY(dotsPerMeterAt72Dpi);
  image.setDevicePixelRatio(devicePixelRatio);
  image.fill(Qt::transparent);
  return image;
}

// A rounded box with two antennas and three lights, drawn into a square of `size`.
void drawRouter(QPainter& painter, double size, const Colours& palette, bool configured) {
  const double line = std::max(1.0, size / 14);
  const QRectF body(size * 0.12, size * 0.52, size * 0.76, size * 0.32);
  // The outline in the halo colour first, so the symbol shows on light and dark bars.
  for (const auto& [colour, width] :
       {std::pair{halo(palette.label), line + 1.2}, std::pair{palette.label, line}}) {
    QPen pen(colour, width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(body, size * 0.09, size * 0.09);
    // Antennas rise from the box's top edge and lean outward.
    painter.drawLine(QPointF(size * 0.30, body.top()), QPointF(size * 0.22, size * 0.16));
    painter.drawLine(QPointF(size * 0.70, body.top()), QPointF(size * 0.78, size * 0.16));
  }

  const double radius = std::max(0.75, size * 0.055);
  const double y = body.center().y();
  const std::array<QColor, 3> lights =
      configured ? std::array<QColor, 3>{palette.green, palette.orange, palette.green}
                 : std::array<QColor, 3>{palette.label, palette.label, palette.label};
  painter.setPen(Qt::NoPen);
  for (std::size_t i = 0; i < lights.size(); ++i) {
    const double x = body.left() + body.width() * (0.3 + 0.2 * static_cast<double>(i));
    painter.setBrush(lights[i]);
    painter.drawEllipse(QPointF(x, y), radius, radius);
  }
}

}  // namespace

// Bound to the measuring device: glyph outlines are otherwise made at the screen's
// resolution, a third larger than the text was measured and laid out at.
const QFont& valueFont() {
  static const QFont font(makeValueFont(), &metricsDevice());
  return font;
}

const QFont& unitFont() {
  static const QFont font(systemFont(8.5, QFont::Normal), &metricsDevice());
  return font;
}

QImage image(std::string_view down, std::string_view up,
             const std::optional<RouterGraphData>& graph, double heightPoints,
             double devicePixelRatio, bool muted, BarTone tone) {
  if (!(heightPoints >= 1 && heightPoints <= maximumPixels)) return {};
  const double ratio = usableRatio(devicePixelRatio);

  const MeasuredLine upLine = measure(up, Layout::upArrow);
  const MeasuredLine downLine = measure(down, Layout::downArrow);
  double referenceWidth = 0;
  for (std::string_view reference : Layout::referenceTexts) {
    referenceWidth = std::max(referenceWidth, measure(reference, Layout::downArrow).size.width);
  }
  const RouterMenuBarImageLayout layout =
      Layout::image(upLine.size, downLine.size, referenceWidth, graph, heightPoints);

  QImage result = blankImage(layout.imageWidth, layout.height, ratio);
  if (result.isNull()) return result;
  const Colours palette = colours(tone);
  const Flip flip(layout.height);
  QPainter painter(&result);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  if (layout.graph) drawAreas(painter, *layout.graph, flip, palette);
  const QColor text = muted ? withAlpha(palette.label, mutedAlpha) : palette.label;
  drawLine(painter, upLine, layout.upTextOrigin, flip, text);
  drawLine(painter, downLine, layout.downTextOrigin, flip, text);
  return result;
}

QImage numbersSquare(std::string_view up, std::string_view down,
                     const std::optional<RouterGraphData>& graph, int sizePx,
                     double devicePixelRatio, bool muted, BarTone tone) {
  if (sizePx < 1) return {};
  const auto size = static_cast<double>(sizePx);
  QImage result = blankImage(size, size, usableRatio(devicePixelRatio));
  if (result.isNull()) return result;
  const Colours palette = colours(tone);
  QPainter painter(&result);
  painter.setRenderHint(QPainter::Antialiasing);
  if (graph && !muted) {
    // Faintly behind the numbers: the square has no room beside them.
    drawAreas(painter, Layout::areas(*graph, GraphRect{0, 0, size, size}, squareGraphAlpha),
              Flip(size), palette);
  }
  const QColor upColour = muted ? withAlpha(palette.label, mutedAlpha) : palette.orangeText;
  const QColor downColour = muted ? withAlpha(palette.label, mutedAlpha) : palette.greenText;
  drawSquareLine(painter, toQString(up), QRectF(0, 0, size, size / 2), upColour);
  drawSquareLine(painter, toQString(down), QRectF(0, size / 2, size, size / 2), downColour);
  return result;
}

QImage routerSymbol(int sizePx, double devicePixelRatio, bool lit, BarTone tone) {
  if (sizePx < 1) return {};
  const auto size = static_cast<double>(sizePx);
  QImage result = blankImage(size, size, usableRatio(devicePixelRatio));
  if (result.isNull()) return result;
  QPainter painter(&result);
  painter.setRenderHint(QPainter::Antialiasing);
  drawRouter(painter, size, colours(tone), lit);
  return result;
}

}  // namespace pulsewell::RouterMenuBarGraph
