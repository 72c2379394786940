#include "app/PropSlider.h"

#include <algorithm>
#include <cmath>

PropSlider::PropSlider(const QString& name, SliderCallback callback, void* userData, QWidget* parent)
    : QScrollBar(Qt::Horizontal, parent), fCallback(callback), fUserData(userData) {
  setObjectName(name);
  setRange(0, kTrack);
  setPageStep(kKnob);
  setSingleStep(kKnob / 10);
  setTracking(true);
  setMinimumWidth(80);
  connect(this, &QScrollBar::valueChanged, this, [this](int) {
    if (!fQuiet && fCallback != nullptr)
      fCallback(this, fUserData, Position(), 0.0);
  });
}

double PropSlider::Position() const {
  return static_cast<double>(value()) / kTrack;
}

void PropSlider::SetPosition(double x) {
  fQuiet = true;
  setValue(static_cast<int>(std::lround(std::clamp(x, 0.0, 1.0) * kTrack)));
  fQuiet = false;
}
