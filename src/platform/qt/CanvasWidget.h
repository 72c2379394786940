#pragma once
// Shows one BView canvas. The pixels are copied by the view's CanvasLink on the GUI
// thread; painting uses the copy and never touches the canvas.

#include <QImage>
#include <QWidget>

class BView;
class CanvasLink;

class CanvasWidget : public QWidget {
 public:
  // The widget takes the view's name and the canvas's size.
  CanvasWidget(BView* view, CanvasLink* link, QWidget* parent = nullptr);
  ~CanvasWidget() override;

  BView* View() const { return fView; }
  // Scalable: the widget may grow past the canvas's size and shows the picture as large as
  // fits, centred, with its proportions kept; it never shrinks below the canvas's size.
  void SetScalable(bool scalable);
  // Where the picture is painted, in widget coordinates.
  QRect PictureRect() const;
  // The last copy of the canvas.
  const QImage& Image() const { return fImage; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  friend class CanvasLink;
  // With the window locked: copies the canvas.
  // Copies the canvas when it changed since the last copy; false when there was nothing new.
  bool CopyCanvas();

  BView* fView;
  CanvasLink* fLink;
  QImage fImage;
  uint64_t fCopiedGeneration = 0;  // the canvas generation fImage holds
  bool fScalable = false;
};
