#pragma once

#include <QAbstractButton>
#include <string>

#include "traffic/snmp_traffic_reading.h"

class QLabel;

namespace pulsewell {

// One row of the settings form's interface list: the up/down mark, the name, the counters
// the interface has and, on the chosen row, a checkmark. The whole row is one flat button; it is
// checked exactly while its interface is the chosen one, which is also what assistive tools are
// told.
class SettingsInterfaceRow : public QAbstractButton {
  Q_OBJECT

 public:
  SettingsInterfaceRow(const SNMPInterface& interface, bool german, QWidget* parent = nullptr);

  const std::string& name() const { return name_; }
  void setChosen(bool chosen);

 protected:
  void paintEvent(QPaintEvent* event) override;
  // The chosen state follows the setting, never a click of its own.
  void nextCheckState() override {}

 private:
  std::string name_;
  QLabel* checkmark_;
};

}  // namespace pulsewell
