#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

namespace pulsewell {

// SIGTERM, SIGINT and SIGHUP (logout, Ctrl+C in the terminal that started the program)
// delivered as a Qt signal on the GUI thread, so that they end the program the same
// orderly way as Quit. One instance at a time; the previous handlers come back when it
// goes.
class TerminationSignals : public QObject {
  Q_OBJECT

 public:
  explicit TerminationSignals(QObject* parent = nullptr);
  ~TerminationSignals() override;
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

  // False when the handlers could not be installed (the defaults then stay in place).
  bool isInstalled() const { return notifier_ != nullptr; }

 Q_SIGNALS:
  void received(int signalNumber);

 private:
  void drain();

  int readEnd_ = -1;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace pulsewell
