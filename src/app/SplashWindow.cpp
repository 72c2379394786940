#include "app/SplashWindow.h"

#include <QLabel>
#include <QVBoxLayout>

SplashWindow::SplashWindow(BRect frame, const char* text) {
  setObjectName("splash");
  setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
  setGeometry(int(frame.left), int(frame.top), int(frame.Width()) + 1, int(frame.Height()) + 1);
  auto* label = new QLabel(QString::fromUtf8(text), this);
  label->setObjectName("splashtext");
  QFont font = label->font();
  font.setPixelSize(50);
  label->setFont(font);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, QColor(0, 0, 255));
  label->setPalette(palette);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(label);
}
