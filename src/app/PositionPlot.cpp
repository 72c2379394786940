#include "app/PositionPlot.h"

#include <QPainter>
#include <QPolygonF>
#include <algorithm>
#include <cmath>

const QColor PositionPlot::kColors[3] = {QColor(200, 40, 40), QColor(30, 150, 40), QColor(40, 70, 210)};

PositionPlot::PositionPlot(int samples, QWidget* parent)
    : QWidget(parent), fSamples(size_t(std::max(samples, 2))) {
  setObjectName("position plot");
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  setAutoFillBackground(true);
  QPalette colors = palette();
  colors.setColor(QPalette::Window, Qt::white);
  setPalette(colors);
}

QSize PositionPlot::sizeHint() const {
  return {160, 60};
}

QSize PositionPlot::minimumSizeHint() const {
  return {60, 30};
}

void PositionPlot::AddSample(const float position[3]) {
  Sample sample{position[0], position[1], position[2]};
  if (fEmpty) {
    std::fill(fSamples.begin(), fSamples.end(), sample);
    fNewest = fSamples.size() - 1;
    fEmpty = false;
    update();
    return;
  }
  // A still position leaves every sample as it was: nothing to repaint.
  const bool still = std::all_of(fSamples.begin(), fSamples.end(), [&](const Sample& s) { return s == sample; });
  fNewest = (fNewest + 1) % fSamples.size();
  fSamples[fNewest] = sample;
  if (!still)
    update();
}

void PositionPlot::Clear() {
  if (fEmpty)
    return;
  fEmpty = true;
  update();
}

void PositionPlot::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRectF area = QRectF(rect()).adjusted(1, 2, -1, -2);
  painter.setPen(QColor(220, 220, 220));
  painter.drawLine(QPointF(area.left(), area.center().y()), QPointF(area.right(), area.center().y()));
  painter.setPen(QColor(160, 160, 160));
  painter.drawRect(QRectF(rect()).adjusted(0, 0, -1, -1));
  if (fEmpty)
    return;
  painter.setRenderHint(QPainter::Antialiasing);
  const size_t count = fSamples.size();
  const double step = area.width() / double(count - 1);
  // A one-pixel cosmetic pen takes the raster engine's fast line drawing; a wider one, or a
  // path, goes through the stroker, many times slower twenty times a second.
  QPolygonF line(static_cast<qsizetype>(count));
  for (int axis = 0; axis < 3; axis++) {
    for (size_t i = 0; i < count; i++) {
      const Sample& sample = fSamples[(fNewest + 1 + i) % count];
      // Values outside 0..1 (an interpolator extrapolates) stay at the edge.
      const double v = std::isfinite(sample[size_t(axis)]) ? std::clamp(double(sample[size_t(axis)]), 0.0, 1.0) : 0.0;
      line[int(i)] = QPointF(area.left() + step * double(i), area.bottom() - v * area.height());
    }
    QPen pen(kColors[axis], 1);
    pen.setCosmetic(true);
    painter.setPen(pen);
    painter.drawPolyline(line);
  }
}
