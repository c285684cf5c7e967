#pragma once

#include <QTimer>
#include <QWidget>
#include <functional>

#include "menubar/strings.h"
#include "traffic/defaults_store.h"
#include "traffic/signal.h"
#include "traffic/snmp_traffic_service.h"

class QLabel;
class QPushButton;

namespace pulsewell {

class PopoverGraphCanvas;

// The content of the popover: the watched interface and its status, the two rates in large
// type, the graph of the last 60 samples with its scale, and the byte totals; only a
// settings button while nothing is configured. It follows the service and the display
// settings live, re-reading them one turn of the event loop after each change.
class PopoverView : public QWidget {
  Q_OBJECT

 public:
  static constexpr int popoverWidth = 280;

  // `showSettings` runs when the settings button is pressed; `german` is the language.
  PopoverView(SNMPTrafficService& service, DefaultsStore& defaults,
              std::function<void()> showSettings, bool german = Strings::german(),
              QWidget* parent = nullptr);
  ~PopoverView() override;
  PopoverView(const PopoverView&) = delete;
  PopoverView& operator=(const PopoverView&) = delete;

  // Shows the current state at once.
  void refresh();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void scheduleRefresh();

  SNMPTrafficService& service_;
  DefaultsStore& defaults_;
  std::function<void()> showSettings_;
  bool german_;
  Subscription serviceChanges_;
  Subscription settingsChanges_;
  QTimer refreshTimer_;

  QLabel* title_;
  QLabel* status_;
  QPushButton* settingsButton_;
  QWidget* details_;
  QPushButton* privacyButton_;
  QLabel* downTitle_;
  QLabel* downRate_;
  QLabel* upTitle_;
  QLabel* upRate_;
  QLabel* upMax_;
  PopoverGraphCanvas* graph_;
  QLabel* downMax_;
  QLabel* totals_;
};

}  // namespace pulsewell
