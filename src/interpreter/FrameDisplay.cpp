#include "interpreter/FrameDisplay.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "platform/interface/BBitmap.h"
#include "platform/interface/BWindow.h"

namespace {
constexpr rgb_color kBlack{0, 0, 0, 0};
constexpr rgb_color kRed{255, 0, 0, 0};
constexpr rgb_color kYellow{255, 255, 0, 0};

// The histogram box of the "histo" view.
constexpr float kBoxLeft = 12, kBoxTop = 12, kBoxRight = 52, kBoxBottom = 52;
constexpr float kCentreX = kBoxLeft + (kBoxRight - kBoxLeft) / 2;
constexpr float kCentreY = kBoxTop + (kBoxBottom - kBoxTop) / 2;
constexpr float kScale = (kBoxRight - kBoxLeft) * 0.5f;

// Locks a view's window; false when there is none or it is closing.
bool LockWindowOf(BView* view) { return view && view->Window() && view->Window()->Lock(); }
}  // namespace

FrameDisplay::FrameDisplay(BView* histogramView, BView* keyFrameView, BView* matchedView)
    : fHistogramView(histogramView), fKeyFrameView(keyFrameView), fMatchedView(matchedView) {}

void FrameDisplay::Draw(const FrameResult& result, FrameAnalysis& analysis) {
  DrawHistogram(result.histogram.get(), fHistogramView, kBlack);
  // The sets are looked up under their locks: clearing the key frames or loading a session
  // replaces the set object itself.
  if (result.matched != -1) {
    BAutolock hold(analysis.MatcherLock());
    DrawNearest(analysis.Examples(), analysis.MatcherLock(), result.matched, fMatchedView, kRed);
  }
  if (result.nearestKeyFrame != -1) {
    BAutolock hold(analysis.KeyFrameLock());
    DrawNearest(analysis.KeyFrames(), analysis.KeyFrameLock(), result.nearestKeyFrame, fKeyFrameView,
                kYellow);
  }
  if (LockWindowOf(fHistogramView)) {
    fHistogramView->Flush();
    fHistogramView->Window()->Unlock();
  }
}

void FrameDisplay::DrawNearest(TrainingSet& set, BLocker& setLock, int32 index, BView* view,
                               rgb_color color) {
  BAutolock hold(setLock);
  // The set may have been cleared since the frame was matched.
  if (index < 0 || size_t(index) >= set.images.size() || size_t(index) >= set.histograms.size()) return;
  if (!LockWindowOf(view)) return;
  if (!view->IsHidden()) {
    view->DrawBitmap(set.images[size_t(index)]->displayBitmap);
    DrawHistogram(set.histograms[size_t(index)], fHistogramView, color);
  }
  view->Window()->Unlock();
}

void FrameDisplay::DrawHistogram(const OrientationHistogram* histogram, BView* view, rgb_color color) {
  if (histogram == nullptr || !LockWindowOf(view)) return;
  BWindow* window = view->Window();
  if (view->IsHidden()) {
    window->Unlock();
    return;
  }
  if (color.red == 0 && color.green == 0 && color.blue == 0) {
    view->SetHighColor(view->ViewColor());
    view->FillRect(BRect(kBoxLeft, kBoxTop, kBoxRight, kBoxBottom), B_SOLID_HIGH);
  }
  const int n = histogram->numBins;
  const float* h = histogram->bins;
  view->BeginLineArray(n + 2);
  view->AddLine(BPoint(kBoxLeft, kCentreY), BPoint(kBoxRight, kCentreY), kBlack);
  view->AddLine(BPoint(kCentreX, kBoxTop), BPoint(kCentreX, kBoxBottom), kBlack);
  const float step = float(2.0 * M_PI / n);
  const BPoint first(kCentreX + kScale * h[0], kCentreY);
  BPoint previous = first;
  float angle = step;
  for (int i = 1; i < n; ++i) {
    const BPoint vertex(kCentreX + kScale * h[i] * std::cos(angle), kCentreY + kScale * h[i] * std::sin(angle));
    view->AddLine(previous, vertex, color);
    previous = vertex;
    angle += step;
  }
  view->AddLine(previous, first, color);
  view->EndLineArray();
  window->Unlock();
}

void FrameDisplay::ClearView(BView* view) {
  if (!LockWindowOf(view)) return;
  view->FillRect(view->Bounds(), B_SOLID_HIGH);
  view->Window()->Unlock();
}

BBitmap* FrameDisplay::MakeDisplayBitmap(const Image& image) {
  auto bitmap = std::make_unique<BBitmap>(BRect(0, 0, float(image.width - 1), float(image.height - 1)),
                                          B_RGB32);
  if (!bitmap->IsValid() || image.pixels == nullptr) return nullptr;
  auto* dst = static_cast<uint8*>(bitmap->Bits());
  const auto* src = static_cast<const uint8*>(image.pixels);
  const int32 rows = std::min(image.height, bitmap->PixelHeight());
  if (image.bitsPerPixel == 32) {
    // Row by row: the image's rows may be padded differently from the bitmap's.
    const size_t rowBytes = size_t(std::min(image.bytesPerRow, bitmap->BytesPerRow()));
    for (int32 y = 0; y < rows; ++y)
      std::memcpy(dst + size_t(y) * bitmap->BytesPerRow(), src + size_t(y) * image.bytesPerRow, rowBytes);
  } else if (image.bitsPerPixel == 8) {
    const int32 columns = std::min(image.width, image.bytesPerRow);
    for (int32 y = 0; y < rows; ++y) {
      const uint8* in = src + size_t(y) * image.bytesPerRow;
      uint8* out = dst + size_t(y) * bitmap->BytesPerRow();
      for (int32 x = 0; x < columns; ++x) {
        out[4 * x] = out[4 * x + 1] = out[4 * x + 2] = in[x];
        out[4 * x + 3] = 255;
      }
    }
  }
  // Shown every frame and never written again: views need not copy it twice.
  bitmap->Freeze();
  return bitmap.release();
}
