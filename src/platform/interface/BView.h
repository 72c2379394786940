#pragma once
// A canvas: a rectangle of RGB32 pixels (bytes B, G, R, 0xFF) that drawing calls really
// paint, plus, when asked for, a log of those calls in order for tests and diagnostics.
//
// Threads: once the view belongs to a window, every call except Name() and Frame() is made
// with that window locked (Window()->Lock()); drawing without the lock is refused with a
// message on standard error. A view that belongs to no window is used by one thread.

#include <cstddef>
#include <string>
#include <vector>

#include "platform/interface/BBitmap.h"
#include "platform/interface/InterfaceDefs.h"
#include "platform/interface/BPoint.h"
#include "platform/interface/BRect.h"

class BWindow;

// One drawing call, as the view received it.
struct DrawOperation {
  enum Kind { kFillRect, kLine, kBitmap, kFlush };
  Kind kind;
  // kFillRect: left-top, right-bottom. kLine: from, to. kBitmap: where, and the bitmap's
  // bounds right-bottom. kFlush: unused.
  BPoint points[2];
  // The colour painted (the high colour for a solid fill); unused for bitmaps and flushes.
  rgb_color color;
  // The bitmap drawn (for identification only; it may be gone by now).
  const BBitmap* bitmap = nullptr;
};

class BView {
 public:
  // frame is where the view sits in its window; the canvas has Bounds() =
  // (0, 0, frame.Width(), frame.Height()), filled with the view colour (white).
  BView(BRect frame, const char* name);
  virtual ~BView();
  BView(const BView&) = delete;
  BView& operator=(const BView&) = delete;

  BWindow* Window() const { return fWindow; }
  const char* Name() const { return fName.c_str(); }
  BRect Frame() const { return fFrame; }
  BRect Bounds() const { return BRect(0, 0, fFrame.Width(), fFrame.Height()); }
  // New size; the canvas is cleared to the view colour.
  void ResizeTo(float width, float height);

  // A view is hidden when it was hidden itself (Hide and Show nest) or its window is.
  bool IsHidden() const;
  void Show();
  void Hide();

  rgb_color ViewColor() const { return fViewColor; }
  void SetViewColor(rgb_color color) { fViewColor = color; }
  rgb_color HighColor() const { return fHighColor; }
  void SetHighColor(rgb_color color) { fHighColor = color; }
  rgb_color LowColor() const { return fLowColor; }
  void SetLowColor(rgb_color color) { fLowColor = color; }

  void MovePenTo(BPoint where) { fPen = where; }
  BPoint PenLocation() const { return fPen; }

  // Fills the pixels whose centres lie in the rectangle (edges included).
  void FillRect(BRect rect, const pattern& fill = B_SOLID_HIGH);
  // A line in the high colour.
  void StrokeLine(BPoint from, BPoint to);
  // Up to count lines, each in its own colour, drawn together by EndLineArray. Lines added
  // beyond count, or outside a Begin/End pair, are dropped.
  void BeginLineArray(int32 count);
  void AddLine(BPoint from, BPoint to, rgb_color color);
  void EndLineArray();
  // Copies the bitmap with its top-left pixel at the pen position (or at where), converting
  // grey and 15/16-bit pixels; what falls outside the view is clipped.
  void DrawBitmap(const BBitmap* bitmap);
  void DrawBitmap(const BBitmap* bitmap, BPoint where);
  // Asks the window's display to show what was drawn so far.
  void Flush();

  // Pixel read-back.
  int32 CanvasWidth() const { return fWidth; }
  int32 CanvasHeight() const { return fHeight; }
  int32 CanvasBytesPerRow() const { return fWidth * 4; }
  const uint32* CanvasBits() const { return fPixels.data(); }
  // Counts the changes to the canvas's pixels: a widget that copied it at this count has
  // nothing new to copy. Read under the window's lock, as the pixels are.
  uint64_t Generation() const { return fGeneration; }
  // The pixel at (x, y), alpha 255; {0, 0, 0, 0} outside the canvas.
  rgb_color PixelAt(int32 x, int32 y) const;

  // The operation log is off by default, so a running view does not grow without bound.
  void SetRecordsOperations(bool on) { fRecording = on; }
  const std::vector<DrawOperation>& Operations() const { return fOperations; }
  void ClearOperations() { fOperations.clear(); }

 private:
  friend class BWindow;
  // False (with a message) when the view belongs to a window the caller has not locked;
  // marks the window dirty otherwise.
  bool MayDraw(const char* operation);
  void Record(const DrawOperation& operation);
  void Plot(int32 x, int32 y, uint32 word) {
    if (x >= 0 && y >= 0 && x < fWidth && y < fHeight) fPixels[size_t(y) * fWidth + x] = word;
  }
  void RasterizeLine(BPoint from, BPoint to, rgb_color color);

  BWindow* fWindow = nullptr;
  std::string fName;
  BRect fFrame;
  int32 fHideLevel = 0;
  rgb_color fViewColor{255, 255, 255, 255};
  rgb_color fHighColor{0, 0, 0, 255};
  rgb_color fLowColor{255, 255, 255, 255};
  BPoint fPen;
  int32 fWidth = 0;
  int32 fHeight = 0;
  std::vector<uint32> fPixels;
  uint64_t fGeneration = 1;
  // The last bitmap drawn, where, and the generation right after it: drawing the same frozen
  // bitmap there again, with nothing drawn since, changes no pixel.
  uint64_t fLastBitmapSerial = 0;
  BPoint fLastBitmapWhere;
  uint64_t fGenerationAfterBitmap = 0;

  struct PendingLine {
    BPoint from, to;
    rgb_color color;
  };
  bool fInLineArray = false;
  int32 fLineCapacity = 0;
  std::vector<PendingLine> fLines;

  bool fRecording = false;
  std::vector<DrawOperation> fOperations;
};
