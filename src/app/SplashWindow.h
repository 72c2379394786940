#pragma once
// The borderless "splash" window shown while Zanvel starts.

#include <QWidget>

#include "interface/Rect.h"

class SplashWindow : public QWidget {
 public:
  SplashWindow(BRect frame, const char* text);
};
