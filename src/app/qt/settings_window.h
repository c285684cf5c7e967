#pragma once

#include <QWidget>
#include <memory>
#include <string_view>
#include <vector>

#include "app/settings_model.h"
#include "traffic/signal.h"
#include "traffic/snmp_traffic_reading.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QVBoxLayout;

namespace pulsewell {

class SettingsInterfaceRow;
class SettingsSpinner;

// The settings window: a fixed-size form in four sections over a SettingsModel, which it
// owns. Every change of the model, of a stored setting or of the service's status
// re-renders the controls whose values changed; a render never writes back.
class SettingsWindow : public QWidget {
  Q_OBJECT

 public:
  static constexpr int fixedWidth = 420;
  static constexpr int fixedHeight = 680;

  explicit SettingsWindow(std::unique_ptr<SettingsModel> model, QWidget* parent = nullptr);
  ~SettingsWindow() override;
  SettingsWindow(const SettingsWindow&) = delete;
  SettingsWindow& operator=(const SettingsWindow&) = delete;

  SettingsModel& model() { return *model_; }

 private:
  QString text(std::string_view english, std::string_view german) const;
  QGroupBox* buildDeviceSection();
  QGroupBox* buildInterfaceSection();
  QGroupBox* buildDisplaySection();
  QGroupBox* buildLoginSection();
  void render();
  void renderInterfaceList();
  void editSpeed(QLineEdit* field, bool down);

  std::unique_ptr<SettingsModel> model_;

  QWidget* content_ = nullptr;
  QLineEdit* host_ = nullptr;
  QLineEdit* port_ = nullptr;
  QLineEdit* community_ = nullptr;
  QPushButton* save_ = nullptr;
  SettingsSpinner* spinner_ = nullptr;
  QLabel* message_ = nullptr;
  QPushButton* privacy_ = nullptr;
  QLabel* selected_ = nullptr;
  QScrollArea* interfaceList_ = nullptr;
  QVBoxLayout* rowsLayout_ = nullptr;
  std::vector<SettingsInterfaceRow*> rows_;
  std::vector<SNMPInterface> renderedInterfaces_;
  QCheckBox* swap_ = nullptr;
  QLabel* status_ = nullptr;
  QComboBox* unit_ = nullptr;
  QComboBox* graph_ = nullptr;
  QComboBox* panelEntry_ = nullptr;
  QLineEdit* downSpeed_ = nullptr;
  QLineEdit* upSpeed_ = nullptr;
  QCheckBox* launch_ = nullptr;
  QLabel* loginMessage_ = nullptr;

  // Declared last so that it disconnects before anything it renders goes.
  Subscription subscription_;
};

}  // namespace pulsewell
