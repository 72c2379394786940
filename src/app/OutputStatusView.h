#pragma once
// The outputs that are on, one row each: a small light, the name and the sent / dropped /
// failed counts, with the reason of the last failure as the row's tooltip. The light is
// green while messages go out, amber while they are dropped, red while they fail and grey
// when nothing moved since the last look.
//
// Threads: GUI thread only; the owner hands it snapshots of the outputs' counters.

#include <QGroupBox>
#include <vector>

#include "interpreter/Output.h"

class QLabel;

class OutputStatusView : public QGroupBox {
 public:
  explicit OutputStatusView(QWidget* parent = nullptr);

  // Shows the outputs as they are now; a light compares with the previous call.
  void Show(const std::vector<OutputStatus>& outputs);

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
  };
  Row& RowFor(const std::string& name);

  std::vector<Row> fRows;
  QLabel* fNone = nullptr;  // "no output is on"
};
