#pragma once
// The analysis half of the interpreter: input smoothing and blending, the histogram, the
// match against the examples, the nearest key frame, the interpolated position and its
// smoothing. It draws nothing and sends nothing.
//
// Threads and what they may touch:
//   frame thread: Prepare, MakeHistogram, Take...Request, NextKeyFrameValues, Analyse. Only
//     this thread touches the previous image and the raw and smoothed values.
//   application thread: the setters, the requests, Add..., Clear..., SetNumBins, the counts.
//   The switches and tuning values are atomics: a frame sees the old or the new value.
// Locks: fMatcherLock guards the examples and the last matched index; fKeyFrameLock guards
// the key frames (which ClearKeyFrames replaces) and the last nearest key frame. Never both,
// except in SetNumBins (matcher first). A view's window lock may be taken inside either.

#include <atomic>
#include <mutex>

#include "analysis/Image.h"
#include "analysis/MultiInterpolator.h"
#include "analysis/OrientationHistogram.h"
#include "analysis/TrainingSet.h"
#include "interpreter/FrameResult.h"
#include "platform/support/BLocker.h"
#include "platform/support/ColorSpace.h"

// A key frame that looks almost like an earlier one but has other values: the interpolation
// would have to pull one picture two ways.
struct NearRepeat {
  int32 added = -1;      // index of the new key frame
  int32 like = -1;       // index of the earlier one it resembles
  float relative = 0;    // their histograms' distance, relative to the larger histogram
};

class FrameAnalysis {
 public:
  static constexpr int kMaxBins = 360;
  // Key frames closer than this (histogram distance relative to the larger histogram) count
  // as repeats: two frames of one still picture differ by a few per cent, two different
  // pictures by a half or more.
  static constexpr float kNearRepeatDistance = 0.2f;

  explicit FrameAnalysis(color_space colorSpace);
  ~FrameAnalysis();
  FrameAnalysis(const FrameAnalysis&) = delete;
  FrameAnalysis& operator=(const FrameAnalysis&) = delete;

  // Smooths and blends the frame in place, as switched.
  void Prepare(Image* image);
  // Read and clear a one-shot request in one step, so each is taken exactly once.
  bool TakeExampleRequest() { return fSaveNextImageToMatcher.exchange(false); }
  bool TakeKeyFrameRequest() { return fSaveNextImageAsKeyframe.exchange(false); }
  void RequestExample() { fSaveNextImageToMatcher.store(true); }
  void RequestKeyFrame() { fSaveNextImageAsKeyframe.store(true); }
  // An example or key frame was asked for and no frame has taken the request yet.
  bool RequestPending() const { return fSaveNextImageToMatcher.load() || fSaveNextImageAsKeyframe.load(); }
  // An owned copy of a frame in the analysis's colour space, or null for an unsupported one.
  Image* CopyFrame(const Image& frame) const;
  OrientationHistogram* MakeHistogram(Image& image) const;
  // The values of the next key frame made from a frame: the corners of the unit cube in turn,
  // (0,0,0), (1,0,0), (0,1,0)...
  void NextKeyFrameValues(float values[3]);
  // Match, nearest key frame, interpolation and smoothing of a normal frame's histogram
  // (ownership passes to the result).
  void Analyse(OrientationHistogram* histogram, FrameResult* result);

  // Take ownership; the display bitmap is the caller's to make first.
  void AddExample(Image* image);
  void AddKeyFrame(KeyFrame* keyFrame);
  void ClearExamples();
  void ClearKeyFrames();
  // Refused with a message while anything is stored, or outside 1..kMaxBins.
  void SetNumBins(int numBins);
  // Replaces both sets at once by ones made beforehand (ownership passes; display bitmaps
  // made by the caller); their bin count becomes the analysis's. The old sets are deleted.
  void ReplaceSets(TrainingSet* examples, MultiInterpolator* keyFrames);
  void SetContrastThreshold(float threshold);

  void SetSmoothInput(bool on) { fSmoothInputImages.store(on, std::memory_order_relaxed); }
  void SetBlendInput(bool on) { fBlendInputImages.store(on, std::memory_order_relaxed); }
  void SetBlendingAmount(float amount) { fTemporalBlendingAmount.store(amount, std::memory_order_relaxed); }
  void SetSmoothing(bool on) { fSmoothing.store(on, std::memory_order_relaxed); }
  void SetSmoothingAlpha(float alpha);
  float SmoothingAlpha() const { return fSmoothingAlpha.load(std::memory_order_relaxed); }
  int32 NumBins() const { return fNumBins.load(std::memory_order_relaxed); }
  bool Smoothing() const { return fSmoothing.load(std::memory_order_relaxed); }
  bool SmoothInput() const { return fSmoothInputImages.load(std::memory_order_relaxed); }
  bool BlendInput() const { return fBlendInputImages.load(std::memory_order_relaxed); }
  // Counts every change of the stored examples and key frames (added, cleared, replaced).
  uint64_t CountSetChanges() const { return fSetChanges.load(std::memory_order_relaxed); }
  // The last near-repeated key frame not taken yet; false when there is none.
  bool TakeNearRepeat(NearRepeat* repeat);

  int32 LastMatched();
  int32 LastKeyFrame();
  int32 CountExamples();
  int32 CountKeyFrames();
  uint32 CountMatchedChanges() const { return fMatchedChanges.load(std::memory_order_relaxed); }

  // For the display: the sets, used only while holding their lock.
  BLocker& MatcherLock() { return fMatcherLock; }
  BLocker& KeyFrameLock() { return fKeyFrameLock; }
  TrainingSet& Examples() { return *fMatcher; }
  MultiInterpolator& KeyFrames() { return *fInterpolator; }

 private:
  static void DeleteDisplayBitmaps(TrainingSet& set);

  BLocker fMatcherLock{"interpreter matcher"};
  BLocker fKeyFrameLock{"interpreter key frames"};
  const color_space fColorSpace;
  std::atomic<float> fContrastThreshold{20.0f};
  std::atomic<int32> fNumBins{36};
  std::atomic<bool> fSmoothing{false};
  std::atomic<float> fSmoothingAlpha{0.3f};
  std::atomic<bool> fSaveNextImageAsKeyframe{false};
  std::atomic<bool> fSaveNextImageToMatcher{false};
  std::atomic<bool> fSmoothInputImages{false};
  std::atomic<bool> fBlendInputImages{false};
  std::atomic<float> fTemporalBlendingAmount{0.7f};
  Image* fPreviousImage = nullptr;
  float fRawValues[3] = {0, 0, 0};
  float fSmoothedValues[3] = {0, 0, 0};
  int32 fLastMatched = -1;
  int32 fLastKeyFrame = -1;
  MultiInterpolator* fInterpolator = nullptr;
  TrainingSet* fMatcher = nullptr;
  std::atomic<uint32> fMatchedChanges{0};
  std::atomic<uint64_t> fSetChanges{0};
  std::mutex fRepeatLock;  // held only to copy fRepeat
  NearRepeat fRepeat;
  bool fHasRepeat = false;
};
