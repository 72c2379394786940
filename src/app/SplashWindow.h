#pragma once
// The borderless "splash" window shown while Zanvel starts.

#include <QWidget>

#include "platform/interface/BRect.h"

class SplashWindow : public QWidget {
 public:
  SplashWindow(BRect frame, const char* text);
};
