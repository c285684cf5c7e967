#include "app/qt/settings_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QShortcut>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>
#include <string>
#include <utility>

#include "app/qt/settings_interface_row.h"
#include "app/qt/settings_spinner.h"
#include "menubar/display_settings.h"
#include "menubar/qt/popover_style.h"
#include "menubar/qt/system_colours.h"
#include "menubar/strings.h"
#include "platform/local_network_settings.h"
#include "platform/qt/qt_conversions.h"
#include "traffic/display_safe_text.h"

namespace pulsewell {

namespace {

constexpr int interfaceListHeight = 160;

// Labels that show text from outside the program (device names, error descriptions)
// never interpret it as markup.
QLabel* plainLabel(const QString& text, const char* name, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QLatin1String(name));
  label->setTextFormat(Qt::PlainText);
  return label;
}

// Text of any length must never widen the fixed form: it wraps within the width it is
// given, and may also break after a slash, so a long file path can wrap too.
void wrapWithinWidth(QLabel* label) {
  label->setWordWrap(true);
  label->setMinimumWidth(1);
}

QString breakableAfterSlashes(QString text) {
  return text.replace(QLatin1Char('/'), QStringLiteral("/\u200B"));
}

QLabel* captionLabel(const QString& text, const char* name, const QColor& colour, QWidget* parent) {
  auto* label = plainLabel(text, name, parent);
  label->setFont(PopoverStyle::caption());
  label->setWordWrap(true);
  PopoverStyle::setTextColour(*label, colour);
  return label;
}

QLineEdit* lineEdit(const char* name, const QString& placeholder, QWidget* parent) {
  auto* field = new QLineEdit(parent);
  field->setObjectName(QLatin1String(name));
  field->setPlaceholderText(placeholder);
  return field;
}

QFormLayout* formLayout(QGroupBox* box) {
  auto* form = new QFormLayout(box);
  form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
  form->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  form->setRowWrapPolicy(QFormLayout::DontWrapRows);
  // Tight enough that all four sections fit the fixed height with the list shown.
  form->setContentsMargins(10, 4, 10, 6);
  form->setVerticalSpacing(4);
  return form;
}

// The label columns of all sections share one width, so the fields line up.
void alignLabelColumns(QWidget* form) {
  int width = 0;
  const auto labels = form->findChildren<QLabel*>(QRegularExpression(QStringLiteral("Label$")));
  for (const auto* label : labels)
    width = std::max(width, label->sizeHint().width());
  for (auto* label : labels)
    label->setMinimumWidth(width);
}

QGroupBox* section(const QString& title, const char* name, QWidget* parent) {
  auto* box = new QGroupBox(title, parent);
  box->setObjectName(QLatin1String(name));
  return box;
}

void addLabelledRow(QFormLayout* form, const QString& label, const char* labelName,
                    QWidget* field) {
  auto* title = plainLabel(label, labelName, field->parentWidget());
  title->setBuddy(field);
  form->addRow(title, field);
}

void setText(QLineEdit* field, const std::string& value) {
  const QString text = toQString(value);
  if (field->text() == text) return;
  const QSignalBlocker blocker(field);
  field->setText(text);
}

void setText(QLabel* label, const QString& text) {
  if (label->text() != text) label->setText(text);
}

void showWhen(QWidget* widget, bool visible) {
  if (widget->isVisibleTo(widget->parentWidget()) != visible) widget->setVisible(visible);
}

void setChecked(QCheckBox* box, bool checked) {
  if (box->isChecked() == checked) return;
  const QSignalBlocker blocker(box);
  box->setChecked(checked);
}

void setCurrentIndex(QComboBox* box, int index) {
  if (box->currentIndex() == index) return;
  const QSignalBlocker blocker(box);
  box->setCurrentIndex(index);
}

// A line-speed field shows the stored number; the cursor stays behind the same digits
// when a typed character that is not one is dropped.
void renderSpeed(QLineEdit* field, std::int64_t value) {
  const QString text = toQString(SettingsModel::speedText(value));
  if (field->text() == text) return;
  const QString typed = field->text();
  const auto before = typed.left(field->cursorPosition());
  const auto digits =
      std::count_if(before.begin(), before.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
  const QSignalBlocker blocker(field);
  field->setText(text);
  field->setCursorPosition(static_cast<int>(std::min<qsizetype>(digits, text.size())));
}

}  // namespace

SettingsWindow::SettingsWindow(std::unique_ptr<SettingsModel> model, QWidget* parent)
    : QWidget(parent), model_(std::move(model)) {
  setObjectName(QStringLiteral("settingsWindow"));
  setWindowTitle(QStringLiteral("Pulsewell"));
  // Titled and closable only: no minimising, and the fixed size leaves nothing to resize.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(fixedWidth, fixedHeight);

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  // The form scrolls if it ever outgrows the fixed window, as a grouped form does.
  auto* scroll = new QScrollArea(this);
  scroll->setObjectName(QStringLiteral("formScrollArea"));
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setWidgetResizable(true);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  outer->addWidget(scroll);

  content_ = new QWidget(scroll);
  content_->setObjectName(QStringLiteral("form"));
  auto* sections = new QVBoxLayout(content_);
  sections->setContentsMargins(12, 8, 12, 8);
  sections->setSpacing(4);
  sections->addWidget(buildDeviceSection());
  sections->addWidget(buildInterfaceSection());
  sections->addWidget(buildDisplaySection());
  sections->addWidget(buildLoginSection());
  sections->addStretch(1);
  alignLabelColumns(content_);
  scroll->setWidget(content_);

  auto* close = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_W), this);
  close->setObjectName(QStringLiteral("closeShortcut"));
  close->setContext(Qt::WindowShortcut);
  QObject::connect(close, &QShortcut::activated, this, &QWidget::close);

  subscription_ = model_->onChange([this] { render(); });
  render();
}

SettingsWindow::~SettingsWindow() {
  subscription_.reset();
  // The controls go while the model they call into still exists.
  delete content_;
}

QString SettingsWindow::text(std::string_view english, std::string_view german) const {
  return toQString(model_->german() ? german : english);
}

QGroupBox* SettingsWindow::buildDeviceSection() {
  auto* box = section(text("Device (SNMP v2c, read only)", "Gerät (SNMP v2c, nur lesend)"),
                      "deviceSection", content_);
  auto* form = formLayout(box);

  host_ = lineEdit("hostField", QStringLiteral("192.0.2.1"), box);
  port_ = lineEdit("portField", QString(), box);
  community_ = lineEdit("communityField", QString(), box);
  community_->setEchoMode(QLineEdit::Password);
  addLabelledRow(form, text("Address", "Adresse"), "hostLabel", host_);
  addLabelledRow(form, QStringLiteral("Port"), "portLabel", port_);
  addLabelledRow(form, QStringLiteral("Community"), "communityLabel", community_);

  const auto edits = [this](QLineEdit* field, void (SettingsModel::*set)(const std::string&)) {
    QObject::connect(field, &QLineEdit::textEdited, this, [this, set](const QString& value) {
      (model_.get()->*set)(toStdString(value));
    });
    QObject::connect(field, &QLineEdit::returnPressed, this, [this] { model_->load(); });
  };
  edits(host_, &SettingsModel::setHost);
  edits(port_, &SettingsModel::setPort);
  edits(community_, &SettingsModel::setCommunity);

  form->addRow(captionLabel(text("SNMP v2c sends the community unencrypted.",
                                 "SNMP v2c überträgt die Community unverschlüsselt."),
                            "communityHint", PopoverStyle::secondary(), box));

  auto* saveRow = new QHBoxLayout();
  save_ =
      new QPushButton(text("Save and load interfaces", "Speichern und Schnittstellen laden"), box);
  save_->setObjectName(QStringLiteral("saveButton"));
  save_->setAutoDefault(false);
  QObject::connect(save_, &QPushButton::clicked, this, [this] { model_->load(); });
  spinner_ = new SettingsSpinner(box);
  spinner_->setObjectName(QStringLiteral("loadingSpinner"));
  saveRow->addWidget(save_, 0, Qt::AlignVCenter);
  saveRow->addWidget(spinner_, 0, Qt::AlignVCenter);
  saveRow->addStretch(1);
  form->addRow(saveRow);

  message_ = plainLabel(QString(), "message", box);
  wrapWithinWidth(message_);
  PopoverStyle::setTextColour(*message_, SystemColours::red(SystemColours::darkPalette()));
  form->addRow(message_);

  privacy_ = new QPushButton(toQString(Strings::openPrivacy(model_->german())), box);
  privacy_->setObjectName(QStringLiteral("privacyButton"));
  privacy_->setAutoDefault(false);
  QObject::connect(privacy_, &QPushButton::clicked, this, [] { openLocalNetworkSettings(); });
  auto* privacyRow = new QHBoxLayout();
  privacyRow->addWidget(privacy_);
  privacyRow->addStretch(1);
  form->addRow(privacyRow);
  return box;
}

QGroupBox* SettingsWindow::buildInterfaceSection() {
  auto* box = section(text("Interface", "Schnittstelle"), "interfaceSection", content_);
  auto* form = formLayout(box);

  selected_ = plainLabel(QString(), "selectedValue", box);
  selected_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  // A long name from the device is cut at the edge rather than widening the form.
  selected_->setMinimumWidth(1);
  addLabelledRow(form, text("Selected", "Gewählt"), "selectedLabel", selected_);

  interfaceList_ = new QScrollArea(box);
  interfaceList_->setObjectName(QStringLiteral("interfaceList"));
  interfaceList_->setFixedHeight(interfaceListHeight);
  interfaceList_->setWidgetResizable(true);
  interfaceList_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  interfaceList_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  auto* rows = new QWidget(interfaceList_);
  rows->setObjectName(QStringLiteral("interfaceRows"));
  rowsLayout_ = new QVBoxLayout(rows);
  rowsLayout_->setContentsMargins(0, 0, 0, 0);
  rowsLayout_->setSpacing(0);
  rowsLayout_->addStretch(1);
  interfaceList_->setWidget(rows);
  form->addRow(interfaceList_);

  swap_ = new QCheckBox(text("Swap download and upload", "Download und Upload tauschen"), box);
  swap_->setObjectName(QStringLiteral("swapSwitch"));
  QObject::connect(swap_, &QCheckBox::clicked, this,
                   [this](bool checked) { model_->setSwapDirections(checked); });
  form->addRow(swap_);

  status_ = plainLabel(QString(), "statusValue", box);
  status_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  wrapWithinWidth(status_);
  addLabelledRow(form, QStringLiteral("Status"), "statusLabel", status_);
  return box;
}

QGroupBox* SettingsWindow::buildDisplaySection() {
  auto* box = section(text("Display", "Anzeige"), "displaySection", content_);
  auto* form = formLayout(box);

  unit_ = new QComboBox(box);
  unit_->setObjectName(QStringLiteral("unitPicker"));
  unit_->addItem(QStringLiteral("B/s"), false);
  unit_->addItem(QStringLiteral("bit/s"), true);
  QObject::connect(unit_, &QComboBox::activated, this,
                   [this](int index) { model_->setInBits(unit_->itemData(index).toBool()); });
  addLabelledRow(form, text("Unit", "Einheit"), "unitLabel", unit_);

  graph_ = new QComboBox(box);
  graph_->setObjectName(QStringLiteral("graphPicker"));
  graph_->addItem(text("Off", "Aus"), toQString(graphStyleName(GraphStyle::none)));
  graph_->addItem(text("Beside", "Daneben"), toQString(graphStyleName(GraphStyle::beside)));
  graph_->addItem(text("Behind", "Dahinter"), toQString(graphStyleName(GraphStyle::behind)));
  QObject::connect(graph_, &QComboBox::activated, this, [this](int index) {
    model_->setGraphStyle(toStdString(graph_->itemData(index).toString()));
  });
  addLabelledRow(form, text("Menu bar graph", "Diagramm in der Menüleiste"), "graphLabel", graph_);

  // Chosen by the panel that hosts the entry; this only overrides a wrong choice.
  panelEntry_ = new QComboBox(box);
  panelEntry_->setObjectName(QStringLiteral("panelEntryPicker"));
  panelEntry_->addItem(text("Automatic", "Automatisch"), QStringLiteral("automatic"));
  panelEntry_->addItem(text("Text label", "Textbeschriftung"), QStringLiteral("label"));
  panelEntry_->addItem(text("Wide image", "Breites Bild"), QStringLiteral("wide"));
  panelEntry_->addItem(text("Two numbers", "Zwei Zahlen"), QStringLiteral("square"));
  QObject::connect(panelEntry_, &QComboBox::activated, this, [this](int index) {
    model_->setPanelEntry(toStdString(panelEntry_->itemData(index).toString()));
  });
  addLabelledRow(form, text("Panel entry", "Eintrag im Panel"), "panelEntryLabel", panelEntry_);

  downSpeed_ = lineEdit("downSpeedField", QStringLiteral("0"), box);
  upSpeed_ = lineEdit("upSpeedField", QStringLiteral("0"), box);
  addLabelledRow(form, text("Max. download (Mbit/s)", "Max. Download (Mbit/s)"), "downSpeedLabel",
                 downSpeed_);
  addLabelledRow(form, text("Max. upload (Mbit/s)", "Max. Upload (Mbit/s)"), "upSpeedLabel",
                 upSpeed_);
  QObject::connect(downSpeed_, &QLineEdit::textEdited, this,
                   [this] { editSpeed(downSpeed_, true); });
  QObject::connect(upSpeed_, &QLineEdit::textEdited, this, [this] { editSpeed(upSpeed_, false); });

  form->addRow(captionLabel(
      text("0 = scale follows the measured peak.", "0 = Skala folgt der gemessenen Spitze."),
      "speedHint", PopoverStyle::secondary(), box));
  return box;
}

QGroupBox* SettingsWindow::buildLoginSection() {
  auto* box = section(QString(), "loginSection", content_);
  auto* form = formLayout(box);

  launch_ = new QCheckBox(text("Launch at login", "Bei Anmeldung starten"), box);
  launch_->setObjectName(QStringLiteral("launchSwitch"));
  // The switch shows the login item's real state, set by the render that follows.
  QObject::connect(launch_, &QCheckBox::clicked, this, [this](bool checked) {
    model_->setLaunchAtLogin(checked);
    render();
  });
  form->addRow(launch_);

  loginMessage_ = captionLabel(QString(), "loginMessage",
                               SystemColours::red(SystemColours::darkPalette()), box);
  wrapWithinWidth(loginMessage_);
  form->addRow(loginMessage_);
  return box;
}

void SettingsWindow::editSpeed(QLineEdit* field, bool down) {
  const std::int64_t value = SettingsModel::speed(toStdString(field->text()));
  if (down) {
    model_->setDownLineSpeed(value);
  } else {
    model_->setUpLineSpeed(value);
  }
  // An edit that leaves the number as it was changes nothing in the store, yet the field
  // must still drop what it cannot hold.
  render();
}

void SettingsWindow::render() {
  const SettingsModel& model = *model_;

  setText(host_, model.host());
  setText(port_, model.port());
  setText(community_, model.community());
  const bool canSave = model.draft().has_value() && !model.loading();
  if (save_->isEnabled() != canSave) save_->setEnabled(canSave);
  showWhen(spinner_, model.loading());
  setText(message_, breakableAfterSlashes(toQString(model.message().value_or(""))));
  showWhen(message_, model.message().has_value());
  showWhen(privacy_, model.offersPrivacySettings());

  const std::string interface = model.interface();
  setText(selected_,
          interface.empty() ? QStringLiteral("\u2014") : toQString(displaySafe(interface)));
  renderInterfaceList();
  setChecked(swap_, model.swapDirections());
  setText(status_, toQString(Strings::status(model.status(), model.german())));

  setCurrentIndex(unit_, model.inBits() ? 1 : 0);
  setCurrentIndex(graph_, graph_->findData(toQString(model.graphStyle())));
  setCurrentIndex(panelEntry_, panelEntry_->findData(toQString(model.panelEntry())));
  renderSpeed(downSpeed_, model.downLineSpeed());
  renderSpeed(upSpeed_, model.upLineSpeed());

  setChecked(launch_, model.launchAtLogin());
  setText(loginMessage_, breakableAfterSlashes(toQString(model.loginMessage().value_or(""))));
  showWhen(loginMessage_, model.loginMessage().has_value());
}

void SettingsWindow::renderInterfaceList() {
  const auto& interfaces = model_->interfaces();
  if (interfaces != renderedInterfaces_) {
    for (auto* row : rows_)
      delete row;
    rows_.clear();
    QWidget* container = interfaceList_->widget();
    for (const auto& interface : interfaces) {
      auto* row = new SettingsInterfaceRow(interface, model_->german(), container);
      QObject::connect(row, &SettingsInterfaceRow::clicked, this,
                       [this, name = interface.name] { model_->chooseInterface(name); });
      // Before the closing stretch, so the rows stay at the top.
      rowsLayout_->insertWidget(rowsLayout_->count() - 1, row);
      rows_.push_back(row);
    }
    renderedInterfaces_ = interfaces;
  }
  showWhen(interfaceList_, !interfaces.empty());
  const std::string chosen = model_->interface();
  for (auto* row : rows_)
    row->setChosen(row->name() == chosen);
}

}  // namespace pulsewell
