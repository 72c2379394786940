#include "platform/qt/CanvasWidget.h"

#include <QPainter>
#include <cstring>

#include "platform/interface/BView.h"
#include "platform/qt/CanvasLink.h"

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

bool CanvasWidget::CopyCanvas() {
  int width = fView->CanvasWidth();
  int height = fView->CanvasHeight();
  const bool sameSize = fImage.width() == width && fImage.height() == height;
  if (sameSize && fView->Generation() == fCopiedGeneration)
    return false;
  fCopiedGeneration = fView->Generation();
  if (!sameSize)
    fImage = QImage(width, height, QImage::Format_RGB32);
  // The canvas words are B, G, R, 0xFF in memory: the layout of QImage::Format_RGB32.
  const uint32_t* bits = fView->CanvasBits();
  for (int y = 0; y < height; y++)
    std::memcpy(fImage.scanLine(y), bits + size_t(y) * size_t(width), size_t(width) * 4);
  return true;
}

void CanvasWidget::SetScalable(bool scalable) {
  fScalable = scalable;
  const QSize canvas(fView->CanvasWidth(), fView->CanvasHeight());
  if (scalable) {
    setMinimumSize(canvas);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  } else {
    setFixedSize(canvas);
  }
  update();
}

QRect CanvasWidget::PictureRect() const {
  if (!fScalable || fImage.isNull() || size() == fImage.size())
    return QRect(QPoint(0, 0), fImage.size());
  QSize fitted = fImage.size().scaled(size(), Qt::KeepAspectRatio);
  return QRect(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
}

void CanvasWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect picture = PictureRect();
  if (picture.size() == fImage.size()) {
    painter.drawImage(picture.topLeft(), fImage);
  } else {
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(picture, fImage);
  }
  if (picture != rect()) {
    // The bands beside a scaled picture take the colour of what holds the widget.
    const QRegion bands = QRegion(rect()).subtracted(picture);
    for (const QRect& band : bands)
      painter.fillRect(band, palette().color(backgroundRole()));
  }
}
