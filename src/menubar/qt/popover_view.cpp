#include "menubar/qt/popover_view.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTextDocument>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "menubar/qt/popover_graph_canvas.h"
#include "menubar/qt/popover_style.h"
#include "menubar/qt/system_number_locale.h"
#include "menubar/strings.h"
#include "menubar/traffic_presentation.h"
#include "platform/local_network_settings.h"
#include "platform/qt/qt_conversions.h"

namespace pulsewell {

namespace {

constexpr int padding = 12;
constexpr int itemSpacing = 10;
constexpr int contentWidth = PopoverView::popoverWidth - 2 * padding;

QLabel* makeLabel(const char* name, const QFont& font, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setFont(font);
  label->setTextFormat(Qt::PlainText);
  return label;
}

// The width a label needs for `text` on one line, in whole pixels rounded up.
int oneLineWidth(const QFont& font, const QString& text) {
  return static_cast<int>(std::ceil(QFontMetricsF(font).horizontalAdvance(text)));
}

// One rate block: the coloured title with its arrow above the rate in large type. The two
// blocks share the row equally.
QWidget* rateBlock(const QString& title, const char* titleName, const char* rateName,
                   QLabel*& titleLabel, QLabel*& rateLabel, QWidget* parent) {
  auto* block = new QWidget(parent);
  auto* layout = new QVBoxLayout(block);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  titleLabel = makeLabel(titleName, PopoverStyle::caption(), block);
  titleLabel->setText(title);
  rateLabel = makeLabel(rateName, PopoverStyle::rate(), block);
  layout->addWidget(titleLabel);
  layout->addWidget(rateLabel);
  block->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  return block;
}

}  // namespace

PopoverView::PopoverView(SNMPTrafficService& service, DefaultsStore& defaults,
                         std::function<void()> showSettings, bool german, QWidget* parent)
    : QWidget(parent),
      service_(service),
      defaults_(defaults),
      showSettings_(std::move(showSettings)),
      german_(german) {
  setObjectName(QStringLiteral("popoverView"));
  setFixedWidth(popoverWidth);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(padding, padding, padding, padding);
  layout->setSpacing(itemSpacing);

  auto* header = new QHBoxLayout;
  header->setContentsMargins(0, 0, 0, 0);
  title_ = makeLabel("title", PopoverStyle::headline(), this);
  status_ = makeLabel("status", PopoverStyle::caption(), this);
  status_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  header->addWidget(title_, 0, Qt::AlignVCenter);
  header->addStretch(1);
  header->addWidget(status_, 0, Qt::AlignVCenter);
  layout->addLayout(header);

  settingsButton_ = new QPushButton(toQString(Strings::settings(german_)), this);
  settingsButton_->setObjectName(QStringLiteral("settingsButton"));
  connect(settingsButton_, &QPushButton::clicked, this, [this] {
    if (showSettings_) showSettings_();
  });
  layout->addWidget(settingsButton_, 0, Qt::AlignLeft);

  details_ = new QWidget(this);
  details_->setObjectName(QStringLiteral("details"));
  auto* detailsLayout = new QVBoxLayout(details_);
  detailsLayout->setContentsMargins(0, 0, 0, 0);
  detailsLayout->setSpacing(itemSpacing);

  privacyButton_ = new QPushButton(toQString(Strings::openPrivacy(german_)), details_);
  privacyButton_->setObjectName(QStringLiteral("privacyButton"));
  connect(privacyButton_, &QPushButton::clicked, this, [] { openLocalNetworkSettings(); });
  detailsLayout->addWidget(privacyButton_, 0, Qt::AlignLeft);

  auto* rates = new QHBoxLayout;
  rates->setContentsMargins(0, 0, 0, 0);
  rates->addWidget(rateBlock(QStringLiteral("↓ Download"), "downloadTitle", "downloadRate",
                             downTitle_, downRate_, details_));
  rates->addWidget(rateBlock(QStringLiteral("↑ Upload"), "uploadTitle", "uploadRate", upTitle_,
                             upRate_, details_));
  detailsLayout->addLayout(rates);

  auto* graphBlock = new QVBoxLayout;
  graphBlock->setContentsMargins(0, 0, 0, 0);
  graphBlock->setSpacing(2);
  upMax_ = makeLabel("upMax", PopoverStyle::caption2(), details_);
  graph_ = new PopoverGraphCanvas(details_);
  graph_->setObjectName(QStringLiteral("graph"));
  downMax_ = makeLabel("downMax", PopoverStyle::caption2(), details_);
  graphBlock->addWidget(upMax_, 0, Qt::AlignRight);
  graphBlock->addWidget(graph_, 0, Qt::AlignRight);
  graphBlock->addWidget(downMax_, 0, Qt::AlignRight);
  detailsLayout->addLayout(graphBlock);

  totals_ = makeLabel("totals", PopoverStyle::captionDigits(), details_);
  detailsLayout->addWidget(totals_);
  layout->addWidget(details_);

  PopoverStyle::setTextColour(*downTitle_, PopoverStyle::green());
  PopoverStyle::setTextColour(*upTitle_, PopoverStyle::orange());
  for (QLabel* label : {upMax_, downMax_, totals_}) {
    PopoverStyle::setTextColour(*label, PopoverStyle::secondary());
  }

  refreshTimer_.setSingleShot(true);
  refreshTimer_.setInterval(0);
  connect(&refreshTimer_, &QTimer::timeout, this, &PopoverView::refresh);
  serviceChanges_ = service_.onWillChange([this] { scheduleRefresh(); });
  settingsChanges_ = defaults_.onChange([this] { scheduleRefresh(); });
  refresh();
}

PopoverView::~PopoverView() = default;

void PopoverView::paintEvent(QPaintEvent* /*event*/) {
  // A hairline edge keeps the frameless popover apart from a window of the same colour.
  QPainter painter(this);
  painter.fillRect(rect(), palette().color(QPalette::Window));
  painter.setPen(palette().color(QPalette::Mid));
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void PopoverView::scheduleRefresh() {
  // The service announces a change before it stores the new value; a burst of changes
  // makes one refresh.
  if (!refreshTimer_.isActive()) refreshTimer_.start();
}

void PopoverView::refresh() {
  DisplaySettings settings = DisplaySettings::read(defaults_, systemNumberLocale());
  settings.german = german_;
  const TrafficPresentation shown =
      TrafficPresentation::make(TrafficSnapshot::of(service_), settings);

  const QString statusText = toQString(shown.statusText);
  status_->setText(statusText);
  PopoverStyle::setTextColour(*status_,
                              shown.live ? PopoverStyle::secondary() : PopoverStyle::orange());

  const QString title = toQString(shown.title);
  // The title keeps one line and is cut short when it must; it gives up room to the status
  // only down to two fifths of the row, and a long status wraps instead.
  const QFontMetrics titleMetrics(title_->font());
  const int statusWidth = oneLineWidth(status_->font(), statusText);
  const int titleRoom = std::max(contentWidth - statusWidth - itemSpacing, contentWidth * 2 / 5);
  title_->setText(titleMetrics.horizontalAdvance(title) <= titleRoom
                      ? title
                      : titleMetrics.elidedText(title, Qt::ElideRight, titleRoom));
  // Tooltips take text that looks like markup as markup; the name must stay text.
  title_->setToolTip(Qt::convertFromPlainText(title));
  // The status keeps one line wherever that fits beside the title; a wrapping label would
  // break its line short of the room it has.
  const int statusRoom = contentWidth - oneLineWidth(title_->font(), title_->text()) - itemSpacing;
  status_->setWordWrap(statusWidth > statusRoom);
  status_->setMinimumWidth(std::min(statusWidth, statusRoom));
  status_->setMaximumWidth(statusRoom);

  settingsButton_->setVisible(!shown.configured);
  details_->setVisible(shown.configured);
  if (!shown.configured) return;

  privacyButton_->setVisible(shown.status == RouterTrafficStatus::denied);
  downRate_->setText(toQString(shown.downText));
  upRate_->setText(toQString(shown.upText));
  // Title and rate are read together.
  downRate_->setAccessibleName(QStringLiteral("Download ") + downRate_->text());
  upRate_->setAccessibleName(QStringLiteral("Upload ") + upRate_->text());

  upMax_->setText(toQString(shown.upMaxText));
  downMax_->setText(toQString(shown.downMaxText));
  graph_->setData(shown.downHistory, shown.upHistory, shown.peaks.downPeak, shown.peaks.upPeak);
  totals_->setText(toQString(shown.totalsText));
}

}  // namespace pulsewell
