#include "app/OutputStatusView.h"

#include "app/SteadyLabel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>

namespace {

QString LightStyle(const char* state) {
  const char* color = "#9a9a9a";
  if (qstrcmp(state, OutputStatusView::kSending) == 0)
    color = "#2ca02c";
  else if (qstrcmp(state, OutputStatusView::kDropping) == 0)
    color = "#e8a317";
  else if (qstrcmp(state, OutputStatusView::kFailing) == 0)
    color = "#d62728";
  return QString("background-color: %1; border-radius: 5px;").arg(color);
}

}  // namespace

const char* OutputStatusView::LightState(Row& row, const OutputStatus& now) {
  const bool grew[3] = {now.failed > row.last.failed, now.dropped > row.last.dropped, now.sent > row.last.sent};
  const char* const states[3] = {kFailing, kDropping, kSending};
  const char* state = kIdle;
  for (int i = 2; i >= 0; i--) {
    row.quiet[i] = grew[i] ? 0 : std::min(row.quiet[i] + 1, kHoldLooks);
    if (row.quiet[i] < kHoldLooks)
      state = states[i];
  }
  return state;
}

OutputStatusView::OutputStatusView(QWidget* parent) : QGroupBox("Outputs", parent) {
  setObjectName("Outputs");
  auto* layout = new QVBoxLayout(this);
  layout->setSpacing(2);
  fNone = new QLabel("no output is on");
  fNone->setObjectName("no output");
  fNone->setEnabled(false);
  layout->addWidget(fNone);
}

OutputStatusView::Row& OutputStatusView::RowFor(const std::string& name) {
  for (Row& row : fRows) {
    if (row.last.name == name)
      return row;
  }
  Row row;
  row.last.name = name;
  row.row = new QWidget;
  row.row->setObjectName(QString::fromStdString(name));
  auto* layout = new QHBoxLayout(row.row);
  layout->setContentsMargins(0, 0, 0, 0);
  row.light = new QLabel;
  row.light->setObjectName("light");
  row.light->setFixedSize(10, 10);
  row.light->setProperty("state", kIdle);
  row.light->setStyleSheet(LightStyle(kIdle));
  row.name = new QLabel(QString::fromStdString(name));
  row.counts = new QLabel;
  row.counts->setObjectName("counts");
  row.counts->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  layout->addWidget(row.light);
  layout->addWidget(row.name, 1);
  layout->addWidget(row.counts);
  this->layout()->addWidget(row.row);
  row.row->hide();
  fRows.push_back(row);
  return fRows.back();
}

void OutputStatusView::Show(const std::vector<OutputStatus>& outputs) {
  bool anyOn = false;
  for (const OutputStatus& output : outputs) {
    Row& row = RowFor(output.name);
    anyOn = anyOn || output.on;
    if (output.on) {
      const char* state = LightState(row, output);
      if (row.light->property("state").toString() != state) {
        row.light->setProperty("state", state);
        row.light->setStyleSheet(LightStyle(state));
      }
      SetSteadyText(row.counts, QString("sent %1 · dropped %2 · failed %3")
                                    .arg(output.sent)
                                    .arg(output.dropped)
                                    .arg(output.failed));
      const QString why = QString::fromStdString(output.lastFailure);
      if (row.row->toolTip() != why)
        row.row->setToolTip(why);
    }
    row.row->setVisible(output.on);
    row.last = output;
  }
  fNone->setVisible(!anyOn);
}
