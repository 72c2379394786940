#pragma once
// Everything the user set and trained, as plain data: the examples and key frames with their
// pictures and histograms, the analysis parameters the histograms were made with, and every
// setting the command table can change. The application fills one from the running state and
// applies one back; SessionFile turns one into the bytes of a session file and back.

#include <cstdint>
#include <string>
#include <vector>

// A picture of an example or a key frame, rows top to bottom without padding.
struct SessionPicture {
  enum Kind { kGray = 1, kColor = 4 };
  // kGray: one byte per pixel. kColor: four bytes per pixel, blue, green, red and an unused
  // fourth byte, the analysis's colour word in memory order.
  Kind kind = kColor;
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> pixels;

  size_t BytesPerPixel() const { return kind == kGray ? 1 : 4; }
  bool operator==(const SessionPicture&) const = default;
};

struct SessionExample {
  SessionPicture picture;
  // The example's histogram as it was matched against, bins in order.
  std::vector<float> histogram;
  bool operator==(const SessionExample&) const = default;
};

struct SessionKeyFrame {
  SessionPicture picture;
  std::vector<float> histogram;
  float values[3] = {0, 0, 0};
  std::string name;
  bool operator==(const SessionKeyFrame&) const = default;
};

// One message output to another program.
struct SessionTarget {
  bool on = false;
  std::string signature;
  uint32_t code = 0;
  bool operator==(const SessionTarget&) const = default;
};

struct SessionSettings {
  // The three sliders.
  float smoothingAmount = 0.7f;
  float edgeContrastThreshold = 20.0f;
  float temporalBlending = 0.7f;
  bool smoothInputImages = false;
  bool blendInputImages = false;
  bool smoothOutput = false;

  SessionTarget position;
  SessionTarget matched;

  // MIDI: the device by the name its menu shows, and the outputs that use it.
  std::string midiPort;
  bool matchedNoteToMidi = false;
  bool matchedModwheelToMidi = false;
  bool matchedNoteToSynth = false;
  bool notesToMidi = false;
  bool notesToSynth = false;
  bool positionToMidi = false;
  int32_t buss = 1;  // 1 to 16

  std::string lcsDevice;
  bool positionToLcs = false;
  int32_t lcsZMapping = 0;  // 0 pan, 1 divergence, 2 level

  bool operator==(const SessionSettings&) const = default;
};

struct Session {
  // The analysis size the session was trained at.
  int32_t analysisWidth = 0;
  int32_t analysisHeight = 0;
  // Bin count of every histogram, and the edge contrast threshold in force when saved.
  int32_t numBins = 36;
  float contrastThreshold = 20.0f;
  std::vector<SessionExample> examples;
  std::vector<SessionKeyFrame> keyFrames;
  SessionSettings settings;

  bool operator==(const Session&) const = default;
};

// Limits of what a session file may hold; a file beyond them is refused, never half read.
inline constexpr int kSessionMaxBins = 360;
inline constexpr int kSessionMaxItems = 10000;
inline constexpr int32_t kSessionMaxPictureSide = 2048;
inline constexpr size_t kSessionMaxTextLength = 1024;
// All pictures of one file together, decoded (a few thousand at the largest analysis size).
inline constexpr size_t kSessionMaxPictureBytes = size_t(1) << 30;
