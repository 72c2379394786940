#pragma once
// A horizontal proportional slider: the knob is 0.02 of the track and the position runs
// from 0.0 to 1.0. It calls its callback while the knob moves.

#include <QScrollBar>

class PropSlider;

// (slider, user data, x, y): knob positions from 0.0 to 1.0; a horizontal slider has y = 0.
using SliderCallback = void (*)(PropSlider* slider, void* userData, double x, double y);

class PropSlider : public QScrollBar {
 public:
  PropSlider(const QString& name, SliderCallback callback, void* userData, QWidget* parent = nullptr);

  double Position() const;
  // Moves the knob without calling the callback.
  void SetPosition(double x);

 private:
  static constexpr int kTrack = 9800;  // positions per unit; 0.25, 0.35 and 0.7 are exact
  static constexpr int kKnob = 200;    // 200 / (9800 + 200) = 0.02 of the track

  SliderCallback fCallback;
  void* fUserData;
  bool fQuiet = false;
};
