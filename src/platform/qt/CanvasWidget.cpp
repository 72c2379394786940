#include "qt/CanvasWidget.h"

#include <QPainter>
#include <cstring>

#include "interface/View.h"
#include "qt/CanvasLink.h"

CanvasWidget::CanvasWidget(BView* view, CanvasLink* link, QWidget* parent)
    : QWidget(parent), fView(view), fLink(link) {
  setObjectName(QString::fromUtf8(view->Name()));
  setFixedSize(view->CanvasWidth(), view->CanvasHeight());
  setAttribute(Qt::WA_OpaquePaintEvent);
  fImage = QImage(view->CanvasWidth(), view->CanvasHeight(), QImage::Format_RGB32);
  fImage.fill(Qt::white);
  if (fLink != nullptr)
    fLink->Attach(this);
}

CanvasWidget::~CanvasWidget() {
  if (fLink != nullptr)
    fLink->Detach(this);
}

void CanvasWidget::CopyCanvas() {
  int width = fView->CanvasWidth();
  int height = fView->CanvasHeight();
  if (fImage.width() != width || fImage.height() != height)
    fImage = QImage(width, height, QImage::Format_RGB32);
  // The canvas words are B, G, R, 0xFF in memory: the layout of QImage::Format_RGB32.
  const uint32_t* bits = fView->CanvasBits();
  for (int y = 0; y < height; y++)
    std::memcpy(fImage.scanLine(y), bits + size_t(y) * size_t(width), size_t(width) * 4);
}

void CanvasWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawImage(0, 0, fImage);
}
