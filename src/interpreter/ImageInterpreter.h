#pragma once
// The frame interpreter: turns each video frame into an orientation histogram, matches it
// against the stored examples, interpolates a three-value position over the key frames,
// draws the results into three small views and hands them to the outputs.
//
// It is made of three parts: FrameAnalysis (everything computed from a frame), FrameDisplay
// (the three views) and one object per output (PositionToTarget, MatchedToTarget,
// MatchedMidi, KeyPressure, RhythmOutput, LcsOutput), each with its own settings, counters
// and, where it talks to another process or a device, its own worker. The operations below
// keep the names the command table and the windows use and pass each on to its part.
//
// Threads and what they may touch:
//   frame thread (the video consumer): Interpret, and just before it SetSmoothingAlpha,
//     SetContrastThreshold and SetTemporalBlendingAmount. Interpret never waits for another
//     process, a device or a person: the outputs only take the frame's values.
//   application thread: every other setter and getter, the Clear... and SaveNext...
//     operations, SetNumBins. Switching an output on (launching a target, opening a device)
//     and its alerts happen on that output's worker, so these return at once.
//   note generator thread: GetCurrentValues.
//   any thread: LastFrame, OutputStatuses (the windows read them from a timer).
// Locks: the analysis's set locks, then a view's window lock (see FrameAnalysis.h); fLock
// guards only what a frame publishes and is never held while another lock is taken.
// Callers must not hold a view's window lock while they call into the interpreter.

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "analysis/Image.h"
#include "analysis/MultiInterpolator.h"
#include "analysis/OrientationHistogram.h"
#include "platform/interface/InterfaceDefs.h"
#include "platform/interface/BView.h"
#include "interpreter/FrameAnalysis.h"
#include "interpreter/FrameDisplay.h"
#include "interpreter/Output.h"
#include "platform/midi/BMidiPort.h"
#include "platform/support/BLocker.h"
#include "platform/support/ColorSpace.h"
#include "platform/support/Status.h"
#include "platform/support/TraceLineWriter.h"

class BMidiSynth;
class KeyPressure;
class LcsOutput;
class MatchedMidi;
class MatchedToTarget;
class MidiDevice;
class PositionToTarget;
class RhythmOutput;

// What the last analysed frame published, copied in one piece.
struct FrameSnapshot {
  float position[3] = {0, 0, 0};
  int32 matched = -1;          // the nearest example, or -1
  int32 nearestKeyFrame = -1;  // the nearest key frame, or -1
  float frameRate = 0;         // frames per second, a running average
  uint64_t frames = 0;         // analysed frames so far
};

class ImageInterpreter {
 public:
  // The three views are named "histo", "keyframe" and "matched"; each must belong to a window
  // (they may share one). colorSpace is B_GRAY8 or B_RGB32, the pixels of every frame.
  ImageInterpreter(BView* histogramView, BView* keyFrameView, BView* matchedView,
                   color_space colorSpace);
  virtual ~ImageInterpreter();
  ImageInterpreter(const ImageInterpreter&) = delete;
  ImageInterpreter& operator=(const ImageInterpreter&) = delete;

  // One frame (frame thread). Smoothing and blending change the image in place; the image
  // stays the caller's.
  virtual void Interpret(Image* image);
  // Stores the image (ownership passes) as a new example, with its display bitmap.
  virtual void AddImageToMatcher(Image* image);
  // Stores the key frame (ownership passes), with its image's display bitmap.
  virtual void AddKeyFrame(KeyFrame* keyFrame);
  // Copies the published position (x, y, z) into values[0..2].
  virtual void GetCurrentValues(float* values);
  // The last analysed frame's position, indices and rate, all from the same frame.
  FrameSnapshot LastFrame();
  // Draws one histogram as a polar polygon over two axes into the view, under the view's
  // window lock; black also clears the box first. Does not flush.
  virtual void DrawHistogram(OrientationHistogram* histogram, BView* view, rgb_color color);
  // Forgets every example and clears the matched view.
  virtual void ClearMatcher();
  // Replaces the key frames by an empty set and clears the key-frame view.
  virtual void ClearKeyframes();
  // The next frame becomes an example instead of being analysed.
  virtual void SaveNextImageToMatcher();
  // The next analysed frame becomes a key frame instead of being sent on.
  virtual void SaveNextImageAsKeyframe();

  // Edge contrast for histograms made from now on (stored ones keep theirs).
  virtual void SetContrastThreshold(float threshold);
  // Bin count of the histograms. Refused, with a message, while examples or key frames are
  // stored (their histograms have the old count); accepted, the examples and key frames
  // start afresh with the new count. Counts outside 1..kMaxBins are refused.
  virtual void SetNumBins(int numBins);
  // Publish the smoothed position instead of the raw one.
  virtual void SetSmoothing(bool on);
  // Weight of the newest value in the position smoothing, limited to 0..1.
  virtual void SetSmoothingAlpha(float alpha);
  virtual void SetSendNotesToSynth(bool on);
  virtual void SetSendNotesToMidiPort(bool on);
  // "Position to MIDI": the position as key pressure on every frame.
  virtual void SetSendToKDX(bool on);
  // Its low byte is the note number of the position's key-pressure messages.
  virtual void SetKDXBussId(int bussId);
  virtual void SetDestinationAppSignature(const char* signature);
  // Copies the signature, cut to fit and always terminated, into a buffer of size bytes.
  virtual void GetDestinationAppSignature(char* buffer, size_t size = 256);
  virtual void SetBMessageCommand(uint32 what);
  virtual uint32 GetBMessageCommand();
  virtual void SetMatchedAppSignature(const char* signature);
  virtual void GetMatchedAppSignature(char* buffer, size_t size = 256);
  virtual void SetMatchedBMessageCommand(uint32 what);
  virtual uint32 GetMatchedBMessageCommand();
  // "Position to Target App". Switching on finds the receiver, launching it (and waiting
  // 2.5 s) when it is not running, alerts when it still cannot be found, and tells the 3D
  // receiver where the speakers stand, all on the output's worker: the call returns at once
  // and frames go on. The output is on afterwards in every case; a receiver that was not
  // found drops the messages.
  virtual void SetSendBMessages(bool on);
  // "Matched to Target App": the same, without the speakers.
  virtual void SetSendMatchedAsBMessages(bool on);
  virtual void SetSendMatchedAsNotesToSynth(bool on);
  // "Note to MIDI".
  virtual void SetSendMatchedAsNotesToMidiPort(bool on);
  // "Modwheel to MIDI".
  virtual void SetSendMatchedAsModwheelToMidiPort(bool on);
  // Silences the MIDI port, closes it and opens it on the named device (a name from its
  // device list), on the MIDI device's worker; says so in an alert when that fails.
  virtual void SetMidiPort(const char* name);
  // Smooth each frame before analysis.
  virtual void SetSmoothInputImages(bool on);
  // Blend each frame with the previous blended frame before analysis.
  virtual void SetBlendInputImages(bool on);
  // Weight of the past in that blend.
  virtual void SetTemporalBlendingAmount(float amount);
  // Moves the LCS output to the named serial device, closing the line in use first, on the
  // output's worker; says so when the device will not open (the output then stays silent
  // until one does).
  virtual void SetLCSSerialPort(const char* name);
  // "Position to LCS".
  virtual void SetLCSSendPosition(bool on);
  // Which LCS parameter receives z: 0 pan, 1 divergence, 2 level.
  virtual void SetLCSZMapping(long mapping);

  // Sessions (application thread). Calls example for every example in order, then keyFrame
  // for every key frame in order. The sets' locks are held only while their lists are
  // copied, so the visitors may take their time.
  void VisitTraining(const std::function<void(const Image&, const OrientationHistogram&)>& example,
                     const std::function<void(const KeyFrame&)>& keyFrame);
  // Replaces every example and key frame at once by sets made beforehand (ownership passes);
  // their bin count becomes the analysis's. Clears the matched and key-frame views.
  void ReplaceTraining(TrainingSet* examples, MultiInterpolator* keyFrames);
  // Counts every change of the examples and key frames, for telling whether a session changed.
  uint64_t CountTrainingChanges() const { return fAnalysis.CountSetChanges(); }
  // The last key frame stored that nearly repeats an earlier one with other values, once.
  bool TakeNearRepeat(NearRepeat* repeat) { return fAnalysis.TakeNearRepeat(repeat); }
  // An example or key frame was asked for and is not stored yet.
  bool TrainingRequestPending() const { return fAnalysis.RequestPending(); }

  // The settings as the command table last set them (application thread).
  bool Smoothing() const { return fAnalysis.Smoothing(); }
  bool SmoothInputImages() const { return fAnalysis.SmoothInput(); }
  bool BlendInputImages() const { return fAnalysis.BlendInput(); }
  bool SendNotesToSynth() const;
  bool SendNotesToMidiPort() const;
  bool SendToKDX() const;
  int32 KDXBussId() const;
  bool SendBMessages() const;
  bool SendMatchedAsBMessages() const;
  bool SendMatchedAsNotesToSynth() const;
  bool SendMatchedAsNotesToMidiPort() const;
  bool SendMatchedAsModwheelToMidiPort() const;
  bool LCSSendPosition() const;
  int32 LCSZMapping() const;
  // The MIDI device and the LCS line last chosen, whether they opened or not.
  std::string ChosenMidiPort() const;
  std::string ChosenLCSSerialPort() const;

  // Read-only views of the state, for the windows and for tests.
  // The MIDI port; objects connected to it see everything it is sent (monitors, tests).
  BMidiPort* MidiPort();
  int32 LastMatched();
  int32 LastKeyFrame();
  int32 CountExamples();
  int32 CountKeyFrames();
  int32 NumBins() const { return fAnalysis.NumBins(); }
  float SmoothingAlpha() const { return fAnalysis.SmoothingAlpha(); }
  // How many times the matched index changed (each change sends the matched outputs).
  uint32 CountMatchedChanges() const { return fAnalysis.CountMatchedChanges(); }
  // LCS messages dropped because the line did not take them in time or failed.
  int64 CountLCSDroppedMessages();
  // Every output's switch and counters, in the order of the control window.
  std::vector<OutputStatus> OutputStatuses();
  // The MIDI device and the LCS line in use.
  std::string MidiDeviceName();
  std::string LCSDeviceName();
  // Frames per second, smoothed as on the frame-rate lines; 0 before two frames came.
  float FrameRate() const { return fFrameRate.load(std::memory_order_relaxed); }
  // Frame-rate lines that standard output did not take at once and that were dropped.
  uint64_t CountDroppedRateLines() const { return fRateLine.Dropped(); }
  // Waits until every output has carried out what it was handed so far (sends, launches,
  // device changes); false when that took longer than the timeout.
  bool WaitForOutputs(bigtime_t timeout = 5000000);

  static constexpr int kMaxBins = FrameAnalysis::kMaxBins;

 private:
  // Publishes a frame's result and the frame rate measured with it.
  void Publish(const FrameResult& result, float frameRate);

  FrameAnalysis fAnalysis;
  FrameDisplay fDisplay;
  // Guards fCurrentValues and fLastFrame only.
  BLocker fLock{"interpreter state"};
  // The published position: a copy made under fLock, so that readers on other threads never
  // see a half-written frame.
  float fCurrentValues[3] = {0, 0, 0};
  FrameSnapshot fLastFrame;
  // Frame thread only.
  float fFrameInterval = 0.0f;
  bigtime_t fFrameTime = 0;
  bigtime_t fLastFrameTime;
  TraceLineWriter fRateLine;
  // Written by the frame thread, read by anyone.
  std::atomic<float> fFrameRate{0.0f};

  // The outputs, made in the constructor and destroyed in the order the destructor gives.
  std::unique_ptr<MidiDevice> fMidi;
  // The synthesizer (never made, see BMidiSynth.h).
  BMidiSynth* fSynth = nullptr;
  std::unique_ptr<RhythmOutput> fRhythm;
  std::unique_ptr<MatchedMidi> fMatchedMidi;
  std::unique_ptr<KeyPressure> fKeyPressure;
  std::unique_ptr<PositionToTarget> fPositionToTarget;
  std::unique_ptr<MatchedToTarget> fMatchedToTarget;
  std::unique_ptr<LcsOutput> fLcs;
};
