#include "app/ParameterView.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QTabWidget>
#include <cmath>

#include "platform/media/BParameterWeb.h"

namespace {

// Owns the web for as long as the view shows it.
class WebHolder : public QObject {
 public:
  WebHolder(BParameterWeb* web, QObject* parent) : QObject(parent), fWeb(web) {}
  std::unique_ptr<BParameterWeb> fWeb;
};

QWidget* ContinuousControl(BContinuousParameter* parameter) {
  const float minimum = parameter->MinValue();
  const float maximum = std::max(parameter->MaxValue(), minimum);
  const float step = parameter->ValueStep() > 0 ? parameter->ValueStep() : (maximum - minimum) / 100.0f;
  const int steps = step > 0 ? int(std::lround((maximum - minimum) / step)) : 0;

  auto* row = new QWidget;
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* slider = new QSlider(Qt::Horizontal);
  slider->setObjectName(parameter->Name());
  slider->setRange(0, std::max(steps, 1));
  auto* value = new QLabel;
  value->setMinimumWidth(48);
  layout->addWidget(slider, 1);
  layout->addWidget(value);

  auto show = [value, parameter](float v) {
    QString text = QString::number(double(v), 'g', 4);
    if (*parameter->Unit() != '\0')
      text += QString(" ") + parameter->Unit();
    value->setText(text);
  };
  float current = minimum;
  size_t size = sizeof current;
  bigtime_t changed = 0;
  if (parameter->GetValue(&current, &size, &changed) == B_OK && size == sizeof current && step > 0)
    slider->setValue(int(std::lround((current - minimum) / step)));
  show(current);
  QObject::connect(slider, &QSlider::valueChanged, slider, [=](int position) {
    float v = std::min(maximum, minimum + float(position) * step);
    parameter->SetValue(&v, sizeof v, 0);
    show(v);
  });
  return row;
}

QWidget* DiscreteControl(BDiscreteParameter* parameter) {
  auto* popup = new QComboBox;
  popup->setObjectName(parameter->Name());
  for (int32 i = 0; i < parameter->CountItems(); i++)
    popup->addItem(QString::fromUtf8(parameter->ItemNameAt(i)), parameter->ItemValueAt(i));
  int32 current = 0;
  size_t size = sizeof current;
  bigtime_t changed = 0;
  if (parameter->GetValue(&current, &size, &changed) == B_OK && size == sizeof current) {
    int index = popup->findData(current);
    if (index >= 0)
      popup->setCurrentIndex(index);
  }
  QObject::connect(popup, QOverload<int>::of(&QComboBox::activated), popup, [popup, parameter](int index) {
    int32 v = popup->itemData(index).toInt();
    parameter->SetValue(&v, sizeof v, 0);
  });
  return popup;
}

QWidget* GroupPanel(BParameterGroup* group) {
  auto* panel = new QWidget;
  panel->setObjectName(group->Name());
  auto* layout = new QFormLayout(panel);
  for (int32 i = 0; i < group->CountParameters(); i++) {
    BParameter* parameter = group->ParameterAt(i);
    QWidget* control = nullptr;
    if (parameter->Type() == BParameter::B_CONTINUOUS_PARAMETER)
      control = ContinuousControl(static_cast<BContinuousParameter*>(parameter));
    else
      control = DiscreteControl(static_cast<BDiscreteParameter*>(parameter));
    layout->addRow(QString::fromUtf8(parameter->Name()), control);
  }
  if (group->CountParameters() == 0)
    layout->addRow(new QLabel("(no parameters)"));
  return panel;
}

}  // namespace

QWidget* ViewForWeb(BParameterWeb* web) {
  QWidget* view = nullptr;
  if (web->CountGroups() == 1) {
    view = GroupPanel(web->GroupAt(0));
  } else {
    auto* tabs = new QTabWidget;
    for (int32 i = 0; i < web->CountGroups(); i++)
      tabs->addTab(GroupPanel(web->GroupAt(i)), QString::fromUtf8(web->GroupAt(i)->Name()));
    view = tabs;
  }
  new WebHolder(web, view);
  view->adjustSize();
  return view;
}
