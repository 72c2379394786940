#pragma once
// The outputs that are on, one row each: a small light, the name and the sent / dropped /
// failed counts, with the reason of the last failure as the row's tooltip. The light is
// red while messages fail, else amber while they are dropped, else green while they go out,
// and grey once none of that happened for kHoldLooks looks (so that an output that sends
// less often than the window looks does not flicker).
//
// Threads: GUI thread only; the owner hands it snapshots of the outputs' counters.

#include <QGroupBox>
#include <vector>

#include "interpreter/Output.h"

class QLabel;

class OutputStatusView : public QGroupBox {
 public:
  explicit OutputStatusView(QWidget* parent = nullptr);

  // Shows the outputs as they are now; a light compares with the previous calls.
  void Show(const std::vector<OutputStatus>& outputs);

  static constexpr int kHoldLooks = 10;

  // Light states, also the lights' "state" property.
  static constexpr const char* kIdle = "idle";
  static constexpr const char* kSending = "sending";
  static constexpr const char* kDropping = "dropping";
  static constexpr const char* kFailing = "failing";

 private:
  struct Row {
    QWidget* row = nullptr;
    QLabel* light = nullptr;
    QLabel* name = nullptr;
    QLabel* counts = nullptr;
    OutputStatus last;
    // Looks since the counter last grew: failed, dropped, sent.
    int quiet[3] = {kHoldLooks, kHoldLooks, kHoldLooks};
  };
  static const char* LightState(Row& row, const OutputStatus& now);
  Row& RowFor(const std::string& name);

  std::vector<Row> fRows;
  QLabel* fNone = nullptr;  // "no output is on"
};
