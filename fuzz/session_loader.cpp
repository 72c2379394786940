// The session file reader: any bytes either decode to a session that survives being written
// and read again unchanged, or are refused with a reason.
//
// The first byte picks what the rest is: 0 a whole file; 1 the manifest, and 2 a picture,
// each packed with valid neighbours into a container with correct checksums, so that
// mutations reach the manifest reader and the picture decoder instead of stopping at the
// container's checksum.

#include <zip.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "session/SessionFile.h"

namespace {

// A 1x1 grey PNG.
const std::vector<unsigned char> kPixel = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52, 0x00,
    0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x00, 0x00, 0x00, 0x00, 0x3a, 0x7e, 0x9b, 0x55, 0x00,
    0x00, 0x00, 0x0a, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9c, 0x63, 0x60, 0x00, 0x00, 0x00, 0x02, 0x00, 0x01,
    0x48, 0xaf, 0xa4, 0x71, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};

const std::string kManifest = R"({"format": "zanvel-session", "version": 1,
 "analysis": {"width": 80, "height": 60, "bins": 2, "contrastThreshold": 20},
 "sliders": {"smoothingAmount": 0.7, "edgeContrastThreshold": 20, "temporalBlending": 0.7},
 "input": {"smoothImages": false, "blendImages": false}, "smoothOutput": false,
 "positionTarget": {"on": false, "signature": "", "code": 0},
 "matchedTarget": {"on": false, "signature": "", "code": 0},
 "midi": {"port": "", "matchedNote": false, "matchedModwheel": false, "matchedNoteToSynth": false,
          "notes": false, "notesToSynth": false, "positionPressure": false, "buss": 1},
 "lcs": {"device": "", "position": false, "zMapping": 0},
 "examples": [{"picture": "examples/0001.png", "histogram": [0, 1]}],
 "keyFrames": [{"picture": "keyframes/0001.png", "histogram": [1, 0], "values": [0, 1, 0], "name": "k"}]})";

std::vector<unsigned char> Pack(const std::vector<std::pair<std::string, std::vector<unsigned char>>>& entries) {
  std::vector<unsigned char> bytes;
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
  zip_t* archive = zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
  zip_error_fini(&error);
  if (archive == nullptr) abort();
  zip_source_keep(buffer);
  for (const auto& [name, data] : entries)
    zip_file_add(archive, name.c_str(), zip_source_buffer(archive, data.data(), data.size(), 0), 0);
  if (zip_close(archive) != 0) abort();
  zip_source_open(buffer);
  zip_source_seek(buffer, 0, SEEK_END);
  bytes.resize(size_t(zip_source_tell(buffer)));
  zip_source_seek(buffer, 0, SEEK_SET);
  zip_source_read(buffer, bytes.data(), bytes.size());
  zip_source_close(buffer);
  zip_source_free(buffer);
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::vector<unsigned char> rest(data + 1, data + size);
  const std::vector<unsigned char> manifest(kManifest.begin(), kManifest.end());
  std::vector<unsigned char> file;
  switch (data[0] % 3) {
    case 0:
      file = rest;
      break;
    case 1:
      file = Pack({{"manifest.json", rest}, {"examples/0001.png", kPixel}, {"keyframes/0001.png", kPixel}});
      break;
    default:
      file = Pack({{"manifest.json", manifest}, {"examples/0001.png", rest}, {"keyframes/0001.png", kPixel}});
      break;
  }

  Session session;
  std::string why;
  if (!DecodeSession(file.data(), file.size(), &session, &why)) {
    if (why.empty()) abort();  // every refusal says why
    return 0;
  }
  std::vector<unsigned char> bytes;
  if (!EncodeSession(session, &bytes, &why)) abort();
  Session again;
  if (!DecodeSession(bytes.data(), bytes.size(), &again, &why) || !(again == session)) abort();
  return 0;
}
