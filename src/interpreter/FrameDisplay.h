#pragma once
// The display half of the interpreter: the histograms of the frame, of its matched example
// and of its nearest key frame in the "histo" view, and the pictures of that example and key
// frame in the "matched" and "keyframe" views.
//
// Threads: Draw on the frame thread; ClearView and DrawHistogram from any thread. A view is
// drawn into only while its window is locked, and a hidden view not at all. Draw takes the
// analysis's set locks before a window lock; callers hold no window lock.

#include "platform/interface/InterfaceDefs.h"
#include "platform/interface/BView.h"
#include "interpreter/FrameAnalysis.h"
#include "interpreter/FrameResult.h"

class BBitmap;

class FrameDisplay {
 public:
  FrameDisplay(BView* histogramView, BView* keyFrameView, BView* matchedView);

  // The three drawings of a normal frame, flushed together.
  void Draw(const FrameResult& result, FrameAnalysis& analysis);
  // One histogram as a polar polygon over two axes into the view, under the view's window
  // lock; black also clears the box first. Does not flush.
  static void DrawHistogram(const OrientationHistogram* histogram, BView* view, rgb_color color);
  // Fills a view with its high colour under its window's lock.
  static void ClearView(BView* view);
  // The B_RGB32 picture of an image shown in the matched and key-frame views.
  static BBitmap* MakeDisplayBitmap(const Image& image);

  BView* HistogramView() const { return fHistogramView; }
  BView* KeyFrameView() const { return fKeyFrameView; }
  BView* MatchedView() const { return fMatchedView; }

 private:
  // The picture of entry `index` of a set in its view and its histogram in the "histo" view.
  void DrawNearest(TrainingSet& set, BLocker& setLock, int32 index, BView* view, rgb_color color);

  BView* const fHistogramView;
  BView* const fKeyFrameView;
  BView* const fMatchedView;
};
