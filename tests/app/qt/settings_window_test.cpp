#include "app/qt/settings_window.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTest>
#include <chrono>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/qt/settings_interface_row.h"
#include "snmp/snmp_error.h"
#include "tests/support/test_artifacts.h"
#include "tests/support/test_main_queue.h"
#include "traffic/login_item.h"
#include "traffic/memory_defaults_store.h"
#include "traffic/secret_store.h"
#include "traffic/settings_table.h"
#include "traffic/snmp_traffic_service.h"

namespace pulsewell {
namespace {

class MemorySecretStore : public SecretStore {
 public:
  std::optional<std::string> read(const std::string& /*service*/) override { return stored; }
  bool write(const std::string& value, const std::string& /*service*/) override {
    stored = value;
    return true;
  }
  std::optional<std::string> stored;
};

class FakeLoginItem : public LoginItem {
 public:
  Status status() const override { return current; }
  void registerItem() override {
    if (failure) throw std::runtime_error(*failure);
    current = afterRegister;
  }
  void unregisterItem() override { current = Status::notRegistered; }
  void openSystemSettingsLoginItems() override {}

  Status current = Status::notRegistered;
  Status afterRegister = Status::enabled;
  std::optional<std::string> failure;
};

// A service that never reaches the device: every exchange ends with `error`.
std::unique_ptr<SNMPTrafficService> failingService(const std::shared_ptr<MainQueue>& queue,
                                                   const SNMPError& error) {
  return std::make_unique<SNMPTrafficService>(
      queue, std::chrono::milliseconds(20), [error](const RouterTrafficConfig& config) {
        SNMPClient client = SNMPTrafficService::defaultClient(config);
        client.transport = [error](const Bytes&) -> Bytes { throw error; };
        return client;
      });
}

class SettingsWindowTest : public ::testing::Test {
 protected:
  void open(bool german = false) {
    auto model = std::make_unique<SettingsModel>(
        *service, [this] { ++applyCount; }, defaults, secrets, loginItem, queue,
        [this](const RouterTrafficConfig& /*draft*/, SettingsModel::FetchDone done) {
          fetches.push_back(std::move(done));
        },
        german);
    window = std::make_unique<SettingsWindow>(std::move(model));
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  }

  template <typename T>
  T* find(const char* name) const {
    auto* widget = window->findChild<T*>(QLatin1String(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }

  QString labelText(const char* name) const { return find<QLabel>(name)->text(); }

  std::vector<SettingsInterfaceRow*> rows() const {
    const auto found = window->findChildren<SettingsInterfaceRow*>();
    return {found.begin(), found.end()};
  }

  SettingsInterfaceRow* row(const std::string& name) const {
    for (auto* r : rows()) {
      if (r->name() == name) return r;
    }
    ADD_FAILURE() << "no row " << name;
    return nullptr;
  }

  // Replaces the field's text key by key, as a user would.
  void type(const char* field, const QString& text) {
    auto* edit = find<QLineEdit>(field);
    edit->setFocus();
    edit->selectAll();
    if (text.isEmpty()) {
      QTest::keyClick(edit, Qt::Key_Backspace);
    } else {
      QTest::keyClicks(edit, text);
    }
  }

  // Saves and has the device answer with `interfaces`.
  void loadInterfaces(std::vector<SNMPInterface> interfaces) {
    type("hostField", "192.0.2.1");
    QTest::mouseClick(find<QPushButton>("saveButton"), Qt::LeftButton);
    ASSERT_FALSE(fetches.empty());
    fetches.back()({std::move(interfaces), nullptr});
    queue->drain();
  }

  // On the switch's indicator, where a click toggles it.
  static void toggle(QCheckBox* box) {
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
  }

  void savePicture(const QString& file) {
    test::saveArtifact(*window, QStringLiteral("app"), file);
  }

  static bool isCheckedForAssistiveTools(QWidget* widget) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    return accessible != nullptr && accessible->state().checked;
  }

  std::shared_ptr<TestMainQueue> queue = std::make_shared<TestMainQueue>();
  std::unique_ptr<SNMPTrafficService> service = std::make_unique<SNMPTrafficService>(queue);
  MemoryDefaultsStore defaults;
  MemorySecretStore secrets;
  FakeLoginItem loginItem;
  int applyCount = 0;
  std::vector<SettingsModel::FetchDone> fetches;
  std::unique_ptr<SettingsWindow> window;
};

std::vector<SNMPInterface> threeInterfaces() {
  return {{"eth0", true, CounterWidth::bits64},
          {"wlan0", false, CounterWidth::none},
          {"ppp0", true, CounterWidth::bits32}};
}

TEST_F(SettingsWindowTest, FixedSizeTitleAndSectionsInOrder) {
  open();
  EXPECT_EQ(window->windowTitle(), "Pulsewell");
  EXPECT_EQ(window->size(), QSize(420, 680));
  EXPECT_EQ(window->minimumSize(), window->maximumSize());

  const char* names[] = {"deviceSection", "interfaceSection", "displaySection", "loginSection"};
  const QString titles[] = {"Device (SNMP v2c, read only)", "Interface", "Display", ""};
  int previousTop = -1;
  for (int i = 0; i < 4; ++i) {
    auto* box = find<QGroupBox>(names[i]);
    EXPECT_EQ(box->title(), titles[i]);
    const int top = box->mapTo(window.get(), QPoint(0, 0)).y();
    EXPECT_GT(top, previousTop) << names[i];
    previousTop = top;
  }
}

TEST_F(SettingsWindowTest, EnglishLabelsAndPlaceholders) {
  open();
  EXPECT_EQ(labelText("hostLabel"), "Address");
  EXPECT_EQ(find<QLineEdit>("hostField")->placeholderText(), "192.0.2.1");
  EXPECT_EQ(labelText("portLabel"), "Port");
  EXPECT_EQ(labelText("communityLabel"), "Community");
  EXPECT_EQ(find<QLineEdit>("communityField")->echoMode(), QLineEdit::Password);
  EXPECT_EQ(labelText("communityHint"), "SNMP v2c sends the community unencrypted.");
  EXPECT_EQ(find<QPushButton>("saveButton")->text(), "Save and load interfaces");
  EXPECT_EQ(find<QPushButton>("privacyButton")->text(), "Open System Settings \u2026");
  EXPECT_EQ(labelText("selectedLabel"), "Selected");
  EXPECT_EQ(find<QCheckBox>("swapSwitch")->text(), "Swap download and upload");
  EXPECT_EQ(labelText("statusLabel"), "Status");
  EXPECT_EQ(labelText("statusValue"), "Not set up yet");
  EXPECT_EQ(labelText("unitLabel"), "Unit");
  EXPECT_EQ(labelText("graphLabel"), "Menu bar graph");
  EXPECT_EQ(labelText("downSpeedLabel"), "Max. download (Mbit/s)");
  EXPECT_EQ(labelText("upSpeedLabel"), "Max. upload (Mbit/s)");
  EXPECT_EQ(find<QLineEdit>("downSpeedField")->placeholderText(), "0");
  EXPECT_EQ(find<QLineEdit>("upSpeedField")->placeholderText(), "0");
  EXPECT_EQ(labelText("speedHint"), "0 = scale follows the measured peak.");
  EXPECT_EQ(find<QCheckBox>("launchSwitch")->text(), "Launch at login");

  auto* unit = find<QComboBox>("unitPicker");
  ASSERT_EQ(unit->count(), 2);
  EXPECT_EQ(unit->itemText(0), "B/s");
  EXPECT_EQ(unit->itemText(1), "bit/s");
  auto* graph = find<QComboBox>("graphPicker");
  ASSERT_EQ(graph->count(), 3);
  EXPECT_EQ(graph->itemText(0), "Off");
  EXPECT_EQ(graph->itemText(1), "Beside");
  EXPECT_EQ(graph->itemText(2), "Behind");
  EXPECT_EQ(labelText("panelEntryLabel"), "Panel entry");
  auto* entry = find<QComboBox>("panelEntryPicker");
  ASSERT_EQ(entry->count(), 4);
  EXPECT_EQ(entry->itemText(0), "Automatic");
  EXPECT_EQ(entry->itemText(3), "Two numbers");
}

TEST_F(SettingsWindowTest, GermanLabelsAndPlaceholders) {
  open(true);
  EXPECT_EQ(find<QGroupBox>("deviceSection")->title(), "Gerät (SNMP v2c, nur lesend)");
  EXPECT_EQ(find<QGroupBox>("interfaceSection")->title(), "Schnittstelle");
  EXPECT_EQ(find<QGroupBox>("displaySection")->title(), "Anzeige");
  EXPECT_EQ(find<QGroupBox>("loginSection")->title(), "");
  EXPECT_EQ(labelText("hostLabel"), "Adresse");
  EXPECT_EQ(find<QLineEdit>("hostField")->placeholderText(), "192.0.2.1");
  EXPECT_EQ(labelText("portLabel"), "Port");
  EXPECT_EQ(labelText("communityLabel"), "Community");
  EXPECT_EQ(labelText("communityHint"), "SNMP v2c überträgt die Community unverschlüsselt.");
  EXPECT_EQ(find<QPushButton>("saveButton")->text(), "Speichern und Schnittstellen laden");
  EXPECT_EQ(find<QPushButton>("privacyButton")->text(), "Systemeinstellungen öffnen \u2026");
  EXPECT_EQ(labelText("selectedLabel"), "Gewählt");
  EXPECT_EQ(find<QCheckBox>("swapSwitch")->text(), "Download und Upload tauschen");
  EXPECT_EQ(labelText("statusLabel"), "Status");
  EXPECT_EQ(labelText("statusValue"), "Noch nicht eingerichtet");
  EXPECT_EQ(labelText("unitLabel"), "Einheit");
  EXPECT_EQ(labelText("graphLabel"), "Diagramm in der Menüleiste");
  EXPECT_EQ(labelText("downSpeedLabel"), "Max. Download (Mbit/s)");
  EXPECT_EQ(labelText("upSpeedLabel"), "Max. Upload (Mbit/s)");
  EXPECT_EQ(find<QLineEdit>("downSpeedField")->placeholderText(), "0");
  EXPECT_EQ(labelText("speedHint"), "0 = Skala folgt der gemessenen Spitze.");
  EXPECT_EQ(find<QCheckBox>("launchSwitch")->text(), "Bei Anmeldung starten");
  auto* graph = find<QComboBox>("graphPicker");
  EXPECT_EQ(graph->itemText(0), "Aus");
  EXPECT_EQ(graph->itemText(1), "Daneben");
  EXPECT_EQ(graph->itemText(2), "Dahinter");
  EXPECT_EQ(labelText("panelEntryLabel"), "Eintrag im Panel");
  EXPECT_EQ(find<QComboBox>("panelEntryPicker")->itemText(2), "Breites Bild");
  EXPECT_EQ(find<QComboBox>("unitPicker")->itemText(1), "bit/s");
  loadInterfaces(threeInterfaces());
  EXPECT_EQ(row("ppp0")->findChild<QLabel*>("counters")->text(), "32-Bit-Z\u00e4hler");
}

TEST_F(SettingsWindowTest, FieldsShowTheStoredConnection) {
  defaults.set(SettingsKey::routerHost, std::string("router.local"));
  defaults.set(SettingsKey::routerPort, std::int64_t{1161});
  secrets.stored = "s3cret";
  open();
  EXPECT_EQ(find<QLineEdit>("hostField")->text(), "router.local");
  EXPECT_EQ(find<QLineEdit>("portField")->text(), "1161");
  EXPECT_EQ(find<QLineEdit>("communityField")->text(), "s3cret");
}

TEST_F(SettingsWindowTest, SaveButtonNeedsAValidDraft) {
  open();
  auto* save = find<QPushButton>("saveButton");
  EXPECT_FALSE(save->isEnabled()) << "no address yet";
  type("hostField", "192.0.2.1");
  EXPECT_TRUE(save->isEnabled());
  type("portField", "65536");
  EXPECT_FALSE(save->isEnabled());
  type("portField", "+161");
  EXPECT_TRUE(save->isEnabled());
  type("communityField", "");
  EXPECT_FALSE(save->isEnabled());
  type("communityField", " ");
  EXPECT_TRUE(save->isEnabled());
}

TEST_F(SettingsWindowTest, SpinnerAndDisabledButtonWhileLoading) {
  open();
  auto* save = find<QPushButton>("saveButton");
  auto* spinner = find<QWidget>("loadingSpinner");
  EXPECT_FALSE(spinner->isVisible());
  type("hostField", "192.0.2.1");
  QTest::mouseClick(save, Qt::LeftButton);
  ASSERT_EQ(fetches.size(), 1U);
  EXPECT_TRUE(spinner->isVisible());
  EXPECT_FALSE(save->isEnabled());

  QTest::mouseClick(save, Qt::LeftButton);
  EXPECT_EQ(fetches.size(), 1U);

  fetches[0]({threeInterfaces(), nullptr});
  queue->drain();
  EXPECT_FALSE(spinner->isVisible());
  EXPECT_TRUE(save->isEnabled());
}

TEST_F(SettingsWindowTest, ReturnInAConnectionFieldSaves) {
  open();
  type("hostField", "192.0.2.1");
  for (const char* field : {"hostField", "portField", "communityField"}) {
    QTest::keyClick(find<QLineEdit>(field), Qt::Key_Return);
    ASSERT_FALSE(fetches.empty()) << field;
    fetches.back()({{}, nullptr});
    queue->drain();
  }
  EXPECT_EQ(fetches.size(), 3U);
  EXPECT_EQ(defaults.string(SettingsKey::routerHost), "192.0.2.1");
}

TEST_F(SettingsWindowTest, MessageLineShowsOnlyWithAMessage) {
  open();
  auto* message = find<QLabel>("message");
  EXPECT_FALSE(message->isVisible());
  loadInterfaces({});
  EXPECT_TRUE(message->isVisible());
  EXPECT_EQ(message->text(), "The device returned no interface names.");

  QTest::mouseClick(find<QPushButton>("saveButton"), Qt::LeftButton);
  EXPECT_FALSE(message->isVisible()) << "cleared by the next save";
  fetches.back()({{}, std::make_exception_ptr(SNMPError::timeout())});
  queue->drain();
  EXPECT_TRUE(message->isVisible());
  EXPECT_EQ(message->text(), "No reply (address, port, community?)");
}

TEST_F(SettingsWindowTest, PrivacyButtonAfterADeniedFetch) {
  open();
  auto* privacy = find<QPushButton>("privacyButton");
  EXPECT_FALSE(privacy->isVisible());
  type("hostField", "192.0.2.1");
  QTest::mouseClick(find<QPushButton>("saveButton"), Qt::LeftButton);
  fetches.back()({{}, std::make_exception_ptr(SNMPError::localNetworkDenied())});
  queue->drain();
  EXPECT_TRUE(privacy->isVisible());
  EXPECT_EQ(find<QLabel>("message")->text(), "Local network access denied");
  QTest::mouseClick(privacy, Qt::LeftButton);  // there is no such page here; nothing happens
  EXPECT_TRUE(window->isVisible());
}

TEST_F(SettingsWindowTest, PrivacyButtonAndStatusRowFollowTheService) {
  service = failingService(queue, SNMPError::localNetworkDenied());
  open();
  auto* privacy = find<QPushButton>("privacyButton");
  EXPECT_FALSE(privacy->isVisible());
  service->apply(RouterTrafficConfig{"192.0.2.1", 161, "velmar", "eth0", false});
  ASSERT_TRUE(queue->runUntil([&] { return privacy->isVisible(); }));
  EXPECT_EQ(labelText("statusValue"), "Local network access denied");
  EXPECT_TRUE(fetches.empty()) << "no fetch was made";
  window.reset();
}

TEST_F(SettingsWindowTest, StatusRowFollowsEveryServiceChange) {
  service = failingService(queue, SNMPError::unreachable());
  open();
  service->apply(RouterTrafficConfig{"192.0.2.1", 161, "velmar", "eth0", false});
  ASSERT_TRUE(queue->runUntil([&] { return labelText("statusValue") == "Device unreachable"; }));
  service->apply(std::nullopt);
  ASSERT_TRUE(queue->runUntil([&] { return labelText("statusValue") == "Not set up yet"; }));
  window.reset();
}

TEST_F(SettingsWindowTest, InterfaceListOnlyWhenThereAreInterfaces) {
  open();
  auto* list = find<QScrollArea>("interfaceList");
  EXPECT_FALSE(list->isVisible());
  EXPECT_TRUE(find<QCheckBox>("swapSwitch")->isVisible()) << "the rest of the section stays";
  EXPECT_TRUE(find<QLabel>("statusValue")->isVisible());

  loadInterfaces(threeInterfaces());
  EXPECT_TRUE(list->isVisible());
  EXPECT_EQ(list->height(), 160);
  EXPECT_EQ(list->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  ASSERT_EQ(rows().size(), 3U);
  EXPECT_EQ(row("wlan0")->findChild<QLabel*>("stateMark")->text(), "\u25CB");
  EXPECT_EQ(row("eth0")->findChild<QLabel*>("stateMark")->text(), "\u25CF");
  EXPECT_EQ(row("eth0")->findChild<QLabel*>("counters")->text(), "64-bit counters");
  EXPECT_EQ(row("ppp0")->findChild<QLabel*>("counters")->text(), "32-bit counters");
  EXPECT_EQ(row("wlan0")->findChild<QLabel*>("counters")->text(), "no counters");
  EXPECT_EQ(row("wlan0")->accessibleDescription(), "no counters");
  // In the device's order, top to bottom.
  EXPECT_LT(row("eth0")->y(), row("wlan0")->y());
  EXPECT_LT(row("wlan0")->y(), row("ppp0")->y());

  type("portField", "1161");
  EXPECT_FALSE(list->isVisible()) << "an edit of the connection empties the list";
  EXPECT_TRUE(rows().empty());
}

TEST_F(SettingsWindowTest, SelectedShowsADashUntilAnInterfaceIsChosen) {
  open();
  EXPECT_EQ(labelText("selectedValue"), "\u2014");
  loadInterfaces(threeInterfaces());
  QTest::mouseClick(row("wlan0"), Qt::LeftButton);
  EXPECT_EQ(labelText("selectedValue"), "wlan0");
}

TEST_F(SettingsWindowTest, CheckmarkMovesOnClickAndTheChosenRowChangesNothing) {
  defaults.set(SettingsKey::routerInterface, std::string("eth0"));
  defaults.set(SettingsKey::routerLineSpeed, std::int64_t{250});
  defaults.set(SettingsKey::routerLineSpeedUp, std::int64_t{40});
  open();
  constexpr auto wide = CounterWidth::bits64;
  loadInterfaces({{"lo", true, wide},
                  {"eth0", true, wide},
                  {"wlan0", false, wide},
                  {"ppp0", true, CounterWidth::bits32},
                  {"br-lan", true, wide},
                  {"eth1", false, wide},
                  {"wg0", true, CounterWidth::none}});
  // The window as the package's screenshot shows it.
  savePicture(QStringLiteral("settings.png"));
  const int appliedBySave = applyCount;
  auto checkmarkShown = [&](const char* name) {
    return row(name)->findChild<QLabel*>("checkmark")->isVisible();
  };
  EXPECT_TRUE(checkmarkShown("eth0"));
  EXPECT_TRUE(isCheckedForAssistiveTools(row("eth0")));
  EXPECT_FALSE(checkmarkShown("wlan0"));
  EXPECT_FALSE(isCheckedForAssistiveTools(row("wlan0")));

  // Far right of the row, in the empty space between name and checkmark.
  SettingsInterfaceRow* wlan = row("wlan0");
  QTest::mouseClick(wlan, Qt::LeftButton, {}, QPoint(wlan->width() - 30, wlan->height() / 2));
  EXPECT_EQ(defaults.string(SettingsKey::routerInterface), "wlan0");
  EXPECT_EQ(applyCount, appliedBySave + 1);
  EXPECT_TRUE(checkmarkShown("wlan0"));
  EXPECT_TRUE(isCheckedForAssistiveTools(row("wlan0")));
  EXPECT_FALSE(checkmarkShown("eth0"));
  EXPECT_FALSE(isCheckedForAssistiveTools(row("eth0")));

  QTest::mouseClick(row("wlan0"), Qt::LeftButton);
  EXPECT_EQ(applyCount, appliedBySave + 1) << "choosing the chosen row calls nothing";
  EXPECT_TRUE(row("wlan0")->isChecked()) << "a click never unchecks the chosen row";
  EXPECT_TRUE(checkmarkShown("wlan0"));
}

TEST_F(SettingsWindowTest, InterfaceNamesAreShownAsPlainText) {
  open();
  loadInterfaces({{"<b>eth0</b>", true}});
  auto* name = row("<b>eth0</b>")->findChild<QLabel*>("interfaceName");
  EXPECT_EQ(name->textFormat(), Qt::PlainText);
  QTest::mouseClick(row("<b>eth0</b>"), Qt::LeftButton);
  EXPECT_EQ(find<QLabel>("selectedValue")->textFormat(), Qt::PlainText);
  EXPECT_EQ(labelText("selectedValue"), "<b>eth0</b>");
}

TEST_F(SettingsWindowTest, DirectionControlsInInterfaceNamesShowInsteadOfReordering) {
  open();
  loadInterfaces({{"wan\u202Eltr", true}, {"\u2067lan\u2069", false}});
  EXPECT_EQ(row("wan\u202Eltr")->findChild<QLabel*>("interfaceName")->text(), "wan\uFFFDltr");
  EXPECT_EQ(row("\u2067lan\u2069")->findChild<QLabel*>("interfaceName")->text(), "\uFFFDlan\uFFFD");
  QTest::mouseClick(row("wan\u202Eltr"), Qt::LeftButton);
  EXPECT_EQ(labelText("selectedValue"), "wan\uFFFDltr");
  EXPECT_EQ(defaults.string(SettingsKey::routerInterface), "wan\u202Eltr") << "the device's name";
}

TEST_F(SettingsWindowTest, LongTextsNeverWidenTheForm) {
  loginItem.failure =
      "Cannot turn on launch at login: /home/someone/.config/autostart/"
      "org.pulsewell.Pulsewell.desktop.tmp-XXXXXX: No space left on device";
  open();
  const std::string longName(200, 'x');
  loadInterfaces({{longName, true}});
  QTest::mouseClick(row(longName), Qt::LeftButton);
  toggle(find<QCheckBox>("launchSwitch"));
  QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
  auto* scroll = find<QScrollArea>("formScrollArea");
  EXPECT_LE(find<QWidget>("form")->width(), scroll->viewport()->width());
  EXPECT_LE(find<QWidget>("interfaceRows")->width(),
            find<QScrollArea>("interfaceList")->viewport()->width());
  auto* message = find<QLabel>("loginMessage");
  EXPECT_LE(message->mapTo(window.get(), QPoint(message->width(), 0)).x(), window->width());
  EXPECT_GT(message->height(), message->fontMetrics().height()) << "the path wraps";
}

// The longest status texts of each language, in the status row and in the message line:
// every control keeps inside the fixed window, also with the interface list shown.
struct LongStatusCase {
  const char* name;
  bool german;
  SNMPError error;
  const char* text;
};

// The case as its test name shows it.
void PrintTo(const LongStatusCase& c, std::ostream* out) {
  *out << c.name;
}

class SettingsWindowWithALongStatus : public SettingsWindowTest,
                                      public ::testing::WithParamInterface<LongStatusCase> {
 protected:
  // Saves a screenshot, then checks that every control lies within the visible width of
  // the scrolling form, which is the window's, and that the long texts are shown whole.
  void expectEverythingInside(const char* shot) {
    savePicture(QStringLiteral("settings-%1-%2.png")
                    .arg(QString::fromLatin1(GetParam().name), QString::fromLatin1(shot)));

    const auto* scroll = find<QScrollArea>("formScrollArea");
    const QWidget* viewport = scroll->viewport();
    const QRect visible(viewport->mapTo(window.get(), QPoint(0, 0)), viewport->size());
    EXPECT_LE(visible.right(), window->width() - 1);
    for (const QWidget* widget : window->findChildren<QWidget*>()) {
      const bool control = qobject_cast<const QGroupBox*>(widget) != nullptr ||
                           qobject_cast<const QLineEdit*>(widget) != nullptr ||
                           qobject_cast<const QComboBox*>(widget) != nullptr ||
                           qobject_cast<const QAbstractButton*>(widget) != nullptr ||
                           qobject_cast<const QLabel*>(widget) != nullptr ||
                           qobject_cast<const QScrollArea*>(widget) != nullptr;
      if (!control || widget == scroll || !widget->isVisible()) continue;
      const QRect area(widget->mapTo(window.get(), QPoint(0, 0)), widget->size());
      const std::string name = widget->objectName().toStdString();
      EXPECT_GE(area.left(), visible.left()) << shot << ": " << name;
      EXPECT_LE(area.right(), visible.right()) << shot << ": " << name;
    }

    for (const auto* label : {find<QLabel>("statusValue"), find<QLabel>("message")}) {
      if (!label->isVisible()) continue;
      EXPECT_EQ(label->text(), QString::fromUtf8(GetParam().text));
      EXPECT_TRUE(label->wordWrap()) << shot << ": " << label->objectName().toStdString();
      EXPECT_GE(label->height(), label->heightForWidth(label->width()))
          << shot << ": " << label->objectName().toStdString() << " is cut";
    }
    const auto* selected = find<QLabel>("selectedValue");
    EXPECT_GE(selected->width(), selected->fontMetrics().horizontalAdvance(selected->text()))
        << shot << ": the chosen interface is cut";
  }
};

TEST_P(SettingsWindowWithALongStatus, WrapsItAndKeepsEveryControlInsideTheWindow) {
  const LongStatusCase& c = GetParam();
  service = failingService(queue, c.error);
  defaults.set(SettingsKey::routerInterface, std::string("eth0"));
  open(c.german);
  service->apply(RouterTrafficConfig{"192.0.2.1", 161, "velmar", "eth0", false});
  ASSERT_TRUE(queue->runUntil([&] { return labelText("statusValue") == c.text; }));

  type("hostField", "192.0.2.1");
  QTest::mouseClick(find<QPushButton>("saveButton"), Qt::LeftButton);
  ASSERT_FALSE(fetches.empty());
  fetches.back()({{}, std::make_exception_ptr(c.error)});
  queue->drain();
  ASSERT_TRUE(find<QLabel>("message")->isVisible());
  expectEverythingInside("message");

  loadInterfaces(threeInterfaces());
  ASSERT_TRUE(find<QScrollArea>("interfaceList")->isVisible());
  EXPECT_EQ(labelText("selectedValue"), "eth0");
  expectEverythingInside("list");
  window.reset();
}

INSTANTIATE_TEST_SUITE_P(
    Languages, SettingsWindowWithALongStatus,
    ::testing::Values(LongStatusCase{"englishNoReply", false, SNMPError::timeout(),
                                     "No reply (address, port, community?)"},
                      LongStatusCase{"germanNoReply", true, SNMPError::timeout(),
                                     "Keine Antwort (Adresse, Port, Community?)"},
                      LongStatusCase{"englishDenied", false, SNMPError::localNetworkDenied(),
                                     "Local network access denied"},
                      LongStatusCase{"germanDenied", true, SNMPError::localNetworkDenied(),
                                     "Zugriff aufs lokale Netz verweigert"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(SettingsWindowTest, TitledAndClosableOnly) {
  open();
  const Qt::WindowFlags flags = window->windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
}

TEST_F(SettingsWindowTest, SwapSwitchStoresAndApplies) {
  open();
  auto* swap = find<QCheckBox>("swapSwitch");
  EXPECT_FALSE(swap->isChecked());
  toggle(swap);
  EXPECT_TRUE(defaults.boolean(SettingsKey::routerSwapDirections));
  EXPECT_EQ(applyCount, 1);
}

TEST_F(SettingsWindowTest, PickersStoreTheirTags) {
  open();
  auto* unit = find<QComboBox>("unitPicker");
  auto* graph = find<QComboBox>("graphPicker");
  EXPECT_EQ(unit->currentIndex(), 0);
  EXPECT_EQ(graph->currentText(), "Beside") << "the default style";

  unit->setFocus();
  QTest::keyClick(unit, Qt::Key_Down);
  EXPECT_TRUE(defaults.boolean(SettingsKey::speedInBits));
  graph->setFocus();
  QTest::keyClick(graph, Qt::Key_Down);
  EXPECT_EQ(defaults.string(SettingsKey::menuBarGraph), "behind");
  auto* entry = find<QComboBox>("panelEntryPicker");
  EXPECT_EQ(entry->currentText(), "Automatic");
  entry->setFocus();
  QTest::keyClick(entry, Qt::Key_Down);
  EXPECT_EQ(defaults.string(SettingsKey::panelEntry), "label");
  EXPECT_EQ(applyCount, 0);
}

TEST_F(SettingsWindowTest, SpeedFieldsShowEmptyForZeroAndKeepOnlyDigits) {
  defaults.set(SettingsKey::routerLineSpeedUp, std::int64_t{40});
  open();
  auto* down = find<QLineEdit>("downSpeedField");
  EXPECT_EQ(down->text(), "");
  EXPECT_EQ(find<QLineEdit>("upSpeedField")->text(), "40");

  type("downSpeedField", "12.5");
  EXPECT_EQ(defaults.integer(SettingsKey::routerLineSpeed), 125);
  EXPECT_EQ(down->text(), "125");
  type("downSpeedField", "1234567890");
  EXPECT_EQ(defaults.integer(SettingsKey::routerLineSpeed), 1234567);
  EXPECT_EQ(down->text(), "1234567");
  type("downSpeedField", "0");
  EXPECT_EQ(defaults.integer(SettingsKey::routerLineSpeed), 0);
  EXPECT_EQ(down->text(), "");
  type("downSpeedField", "x");
  EXPECT_EQ(down->text(), "") << "a field at 0 drops what is not a digit too";
}

TEST_F(SettingsWindowTest, ChangesFromTheStoreRenderWithoutBeingWrittenBack) {
  open();
  loadInterfaces(threeInterfaces());
  const int applied = applyCount;
  int writes = 0;
  auto counting = defaults.onChange([&] { ++writes; });

  defaults.set(SettingsKey::routerLineSpeed, std::int64_t{250});
  defaults.set(SettingsKey::menuBarGraph, std::string("off"));
  defaults.set(SettingsKey::routerInterface, std::string("ppp0"));
  defaults.set(SettingsKey::routerSwapDirections, true);
  EXPECT_EQ(writes, 4) << "rendering wrote nothing back";
  EXPECT_EQ(applyCount, applied);
  EXPECT_EQ(find<QLineEdit>("downSpeedField")->text(), "250");
  EXPECT_EQ(find<QComboBox>("graphPicker")->currentText(), "Off");
  EXPECT_TRUE(row("ppp0")->isChecked());
  EXPECT_TRUE(find<QCheckBox>("swapSwitch")->isChecked());
}

TEST_F(SettingsWindowTest, LaunchSwitchShowsTheRealStateAndItsMessage) {
  loginItem.afterRegister = LoginItem::Status::requiresApproval;
  open();
  auto* launch = find<QCheckBox>("launchSwitch");
  auto* message = find<QLabel>("loginMessage");
  EXPECT_FALSE(message->isVisible());
  toggle(launch);
  EXPECT_FALSE(launch->isChecked()) << "approval is still needed";
  EXPECT_TRUE(message->isVisible());
  EXPECT_EQ(message->text(), "Please allow Pulsewell under Login Items in System Settings.");

  loginItem.afterRegister = LoginItem::Status::enabled;
  toggle(launch);
  EXPECT_TRUE(launch->isChecked());
  EXPECT_FALSE(message->isVisible());
}

TEST_F(SettingsWindowTest, ControlWClosesTheWindowAlsoFromAField) {
  open();
  auto* host = find<QLineEdit>("hostField");
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  host->setFocus();
  QTest::keyClick(host, Qt::Key_W, Qt::ControlModifier);
  EXPECT_FALSE(window->isVisible());
}

TEST_F(SettingsWindowTest, EditingShortcutsWorkInTheFields) {
  open();
  auto* host = find<QLineEdit>("hostField");
  type("hostField", "192.0.2.1");
  QTest::keyClick(host, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(host->selectedText(), "192.0.2.1");
  QTest::keyClick(host, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), "192.0.2.1");
  QTest::keyClick(host, Qt::Key_X, Qt::ControlModifier);
  EXPECT_EQ(host->text(), "");
  EXPECT_EQ(window->model().host(), "") << "a cut is an edit like any other";

  auto* port = find<QLineEdit>("portField");
  port->setFocus();
  port->selectAll();
  QApplication::clipboard()->setText("1161");
  QTest::keyClick(port, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(window->model().port(), "1161");
}

}  // namespace
}  // namespace pulsewell
