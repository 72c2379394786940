#pragma once
// The last few seconds of the published position as three lines (x red, y green, z blue)
// over the range 0..1, newest at the right. The owner adds one sample per tick of its timer;
// the widget repaints only when what it shows changed.
//
// Threads: GUI thread only.

#include <QWidget>
#include <array>
#include <vector>

class PositionPlot : public QWidget {
 public:
  // samples: how many ticks the plot spans.
  explicit PositionPlot(int samples, QWidget* parent = nullptr);

  // The newest position; the oldest sample scrolls out.
  void AddSample(const float position[3]);
  // Forgets the history: the plot is empty until the next sample.
  void Clear();

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

  static const QColor kColors[3];

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  using Sample = std::array<float, 3>;
  // Oldest first; a new plot fills its whole width with its first sample, so that a position
  // that does not move draws the same lines on every tick.
  std::vector<Sample> fSamples;
  size_t fNewest = 0;  // index of the newest sample in the ring
  bool fEmpty = true;
};
