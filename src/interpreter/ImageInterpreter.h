#pragma once
// The frame interpreter: turns each video frame into an orientation histogram, matches it
// against the stored examples, interpolates a three-value position over the key frames,
// draws the results into three small views and sends them to the outputs.
//
// Threads and what they may touch:
//   frame thread (the video consumer): Interpret, and just before it SetSmoothingAlpha,
//     SetContrastThreshold and SetTemporalBlendingAmount. Only this thread touches
//     fPreviousImage, fRawValues, fSmoothedValues and the frame-rate fields.
//   application thread: every other setter and getter, ClearMatcher, ClearKeyframes, the
//     SaveNext... requests, SetNumBins.
//   note generator thread: GetCurrentValues.
// Locks, always taken in this order: fMatcherLock or fKeyFrameLock (never both, except in
// SetNumBins, matcher first), then a view's window, then fLock. fLock is never held while a
// set lock is taken.
//   fLock guards the flags, settings, signatures, the one-shot requests and the published
//     position; every output is sent holding it.
//   fMatcherLock guards fMatcher and fLastMatched; fKeyFrameLock guards fInterpolator (which
//     ClearKeyframes replaces) and fLastKeyFrame.
//   The four per-frame tuning values (threshold, bin count, smoothing alpha, blending amount)
//     are atomics read without a lock: a frame sees the old or the new value.
// Views are drawn into only while their window is locked. Callers must not hold a view's
// window lock while they call into the interpreter (that would invert the order above).

#include <atomic>
#include <cstddef>
#include <string>

#include "analysis/Image.h"
#include "analysis/MultiInterpolator.h"
#include "analysis/OrientationHistogram.h"
#include "analysis/TrainingSet.h"
#include "device/BSerialPort.h"
#include "interface/InterfaceDefs.h"
#include "interface/View.h"
#include "midi/BMidiPort.h"
#include "midi/BMidiSynth.h"
#include "support/BLocker.h"
#include "support/ColorSpace.h"
#include "support/Status.h"

class Rhythm;
class BMessenger;

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
  // receiver where the speakers stand. The output is on afterwards in every case; a receiver
  // that was not found drops the messages. Holds the state lock throughout, so frames wait.
  virtual void SetSendBMessages(bool on);
  // "Matched to Target App": the same, without the speakers.
  virtual void SetSendMatchedAsBMessages(bool on);
  virtual void SetSendMatchedAsNotesToSynth(bool on);
  // "Note to MIDI".
  virtual void SetSendMatchedAsNotesToMidiPort(bool on);
  // "Modwheel to MIDI".
  virtual void SetSendMatchedAsModwheelToMidiPort(bool on);
  // Closes the MIDI port and opens it on the named device (a name from its device list);
  // says so in an alert when that fails.
  virtual void SetMidiPort(const char* name);
  // Smooth each frame before analysis.
  virtual void SetSmoothInputImages(bool on);
  // Blend each frame with the previous blended frame before analysis.
  virtual void SetBlendInputImages(bool on);
  // Weight of the past in that blend.
  virtual void SetTemporalBlendingAmount(float amount);
  // Moves the LCS output to the named serial device, closing the line in use first; says so
  // when the device will not open (the output then stays silent until one does).
  virtual void SetLCSSerialPort(const char* name);
  // "Position to LCS".
  virtual void SetLCSSendPosition(bool on);
  // Which LCS parameter receives z: 0 pan, 1 divergence, 2 level.
  virtual void SetLCSZMapping(long mapping);

  // Read-only views of the state, for the windows and for tests.
  // The MIDI port; objects connected to it see everything it is sent (monitors, tests).
  BMidiPort* MidiPort() { return &fMidiPort; }
  int32 LastMatched();
  int32 LastKeyFrame();
  int32 CountExamples();
  int32 CountKeyFrames();
  int32 NumBins() const { return fNumBins.load(std::memory_order_relaxed); }
  float SmoothingAlpha() const { return fSmoothingAlpha.load(std::memory_order_relaxed); }
  // How many times the matched index changed (each change sends the matched outputs).
  uint32 CountMatchedChanges() const { return fMatchedChanges.load(std::memory_order_relaxed); }
  // LCS messages dropped because the line did not take them in time or failed.
  int64 CountLCSDroppedMessages();

  static constexpr int kMaxBins = 360;

 private:
  // An owned copy of a frame in the interpreter's colour space, or null (with a message)
  // for an unsupported one.
  Image* CopyFrame(const Image& frame) const;
  // The B_RGB32 picture of an image shown in the matched and key-frame views.
  static BBitmap* MakeDisplayBitmap(const Image& image);
  static void DeleteDisplayBitmaps(TrainingSet& set);
  // Fills a view with its high colour under its window's lock.
  static void ClearView(BView* view);

  // Outputs, sent holding fLock from the frame thread.
  void SendMatchedNoteToSynth(int32 match);
  void SendMatchedNoteToMidiPort(int32 match);
  void SendMatchedModwheelToMidiPort(int32 match);
  void SendMatchedMessage(int32 match);
  void SendPositionMessage();
  // A messenger to the signature's receiver, launched when needed; alerts when none answers.
  // Application thread, under fLock.
  static BMessenger* ConnectTarget(const std::string& signature);
  void SendPositionKeyPressure();
  // Ends the rhythm thread (called without fLock), unless a notes output is on again.
  void StopRhythm();
  void WriteLCSPosition();
  // Opens the LCS line on a device, closing the one in use, and greets the controller; holding
  // fLock (or during construction). False when the device will not open.
  bool OpenLCSPort(const char* name);
  // Writes one whole LCS message, or drops it when the line does not take it in time.
  void WriteLCS(const uint8* message, size_t size);

  BLocker fLock{"interpreter state"};
  BLocker fMatcherLock{"interpreter matcher"};
  BLocker fKeyFrameLock{"interpreter key frames"};
  BView* fHistogramView;
  BView* fKeyFrameView;
  BView* fMatchedView;
  const color_space fColorSpace;
  std::atomic<float> fContrastThreshold{20.0f};
  std::atomic<int32> fNumBins{36};
  bool fSmoothing = false;
  std::atomic<float> fSmoothingAlpha{0.3f};
  bool fSendNotesToSynth = false;
  bool fSendNotesToMidiPort = false;
  bool fSendToKDX = false;
  int32 fKDXBussId = 1;
  std::string fDestinationAppSignature{"application/x-vnd.kdx-3dReceiver"};
  uint32 fBMessageCommand = FourCC("M23d");
  bool fSendBMessages = false;
  std::string fMatchedAppSignature{"application/foobar"};
  uint32 fMatchedBMessageCommand = FourCC("M2mm");
  bool fSendMatchedAsBMessages = false;
  // Owned; present while their output is on (under fLock).
  BMessenger* fDestinationMessenger = nullptr;
  BMessenger* fMatchedMessenger = nullptr;
  bool fSendMatchedAsNotesToSynth = false;
  bool fSendMatchedAsNotesToMidiPort = false;
  bool fSendMatchedAsModwheelToMidiPort = false;
  bool fSaveNextImageAsKeyframe = false;
  bool fSaveNextImageToMatcher = false;
  bool fLCSPortOpen = false;
  bool fSmoothInputImages = false;
  bool fBlendInputImages = false;
  std::atomic<float> fTemporalBlendingAmount{0.7f};
  float fFrameInterval = 0.0f;
  bigtime_t fFrameTime = 0;
  bigtime_t fLastFrameTime;
  int32 fLCSZMapping = 0;
  bool fLCSSendPosition = false;
  Image* fPreviousImage = nullptr;
  float fRawValues[3] = {0, 0, 0};
  float fSmoothedValues[3] = {0, 0, 0};
  // The published position: a copy of the raw or the smoothed values made under fLock, so
  // that readers on other threads never see a half-written frame.
  float fCurrentValues[3] = {0, 0, 0};
  int32 fLastMatched = -1;
  int32 fLastKeyFrame = -1;
  MultiInterpolator* fInterpolator = nullptr;
  TrainingSet* fMatcher = nullptr;
  // MIDI: the port (device 0 at construction: the program's own port), the synthesizer
  // (never made, see BMidiSynth.h) and the generated notes.
  BMidiPort fMidiPort;
  BMidiSynth* fSynth = nullptr;
  Rhythm* fRhythm = nullptr;
  std::atomic<uint32> fMatchedChanges{0};
  BSerialPort fLCSPort;
  std::string fLCSPortName;
  bool fLCSStalled = false;  // the last LCS write was dropped; reported once per stall
};
