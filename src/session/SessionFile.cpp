#include "session/SessionFile.h"

#include <zip.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>

#include "session/PngCodec.h"
#include "session/SafeFile.h"

using nlohmann::json;
// Written in the order of docs/sessions.md, so that people reading a manifest find the
// format and version first.
using ordered = nlohmann::ordered_json;

namespace {

// ---- writing

// The double nearest the shortest decimal that reads back as the same float: the manifest
// says 0.7 where the float means 0.7, and reading it back gives exactly the float again.
double Plain(float value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text - 1, value).ptr;
  *end = '\0';
  const double plain = std::strtod(text, nullptr);
  // Rarely the double lies so near the middle between two floats that it rounds to the
  // other one; the float's own value is always exact.
  return float(plain) == value ? plain : double(value);
}

std::vector<double> Plain(const std::vector<float>& values) {
  std::vector<double> out(values.size());
  for (size_t i = 0; i < values.size(); i++) out[i] = Plain(values[i]);
  return out;
}

std::string PictureName(const char* folder, size_t index) {
  char name[64];
  std::snprintf(name, sizeof name, "%s/%04zu.png", folder, index + 1);
  return name;
}

ordered Target(const SessionTarget& target) {
  return {{"on", target.on}, {"signature", target.signature}, {"code", target.code}};
}

ordered Manifest(const Session& session) {
  const SessionSettings& s = session.settings;
  ordered manifest = {
      {"format", kSessionFormat},
      {"version", kSessionVersion},
      {"analysis",
       {{"width", session.analysisWidth},
        {"height", session.analysisHeight},
        {"bins", session.numBins},
        {"contrastThreshold", Plain(session.contrastThreshold)}}},
      {"sliders",
       {{"smoothingAmount", Plain(s.smoothingAmount)},
        {"edgeContrastThreshold", Plain(s.edgeContrastThreshold)},
        {"temporalBlending", Plain(s.temporalBlending)}}},
      {"input", {{"smoothImages", s.smoothInputImages}, {"blendImages", s.blendInputImages}}},
      {"smoothOutput", s.smoothOutput},
      {"positionTarget", Target(s.position)},
      {"matchedTarget", Target(s.matched)},
      {"midi",
       {{"port", s.midiPort},
        {"matchedNote", s.matchedNoteToMidi},
        {"matchedModwheel", s.matchedModwheelToMidi},
        {"matchedNoteToSynth", s.matchedNoteToSynth},
        {"notes", s.notesToMidi},
        {"notesToSynth", s.notesToSynth},
        {"positionPressure", s.positionToMidi},
        {"buss", s.buss}}},
      {"lcs", {{"device", s.lcsDevice}, {"position", s.positionToLcs}, {"zMapping", s.lcsZMapping}}},
  };
  ordered examples = ordered::array();
  for (size_t i = 0; i < session.examples.size(); i++)
    examples.push_back({{"picture", PictureName("examples", i)}, {"histogram", Plain(session.examples[i].histogram)}});
  manifest["examples"] = examples;
  ordered keyFrames = ordered::array();
  for (size_t i = 0; i < session.keyFrames.size(); i++) {
    const SessionKeyFrame& k = session.keyFrames[i];
    keyFrames.push_back({{"picture", PictureName("keyframes", i)},
                         {"histogram", Plain(k.histogram)},
                         {"values", {Plain(k.values[0]), Plain(k.values[1]), Plain(k.values[2])}},
                         {"name", k.name}});
  }
  manifest["keyFrames"] = keyFrames;
  return manifest;
}

struct ZipDeleter {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct SourceDeleter {
  void operator()(zip_source_t* source) const { zip_source_free(source); }
};

bool AddEntry(zip_t* archive, const std::string& name, const std::vector<unsigned char>& data, bool compress,
              std::string* why) {
  zip_source_t* source = zip_source_buffer(archive, data.data(), data.size(), 0);
  if (source == nullptr) {
    *why = std::string("cannot make the container: ") + zip_strerror(archive);
    return false;
  }
  const zip_int64_t index = zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8);
  if (index < 0) {
    zip_source_free(source);
    *why = std::string("cannot make the container: ") + zip_strerror(archive);
    return false;
  }
  // Pictures are compressed already.
  zip_set_file_compression(archive, zip_uint64_t(index), compress ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0);
  return true;
}

// ---- reading

// Reads the manifest's values; the first problem is kept and every later read gives a default.
class ManifestReader {
 public:
  bool Ok() const { return fError.empty(); }
  const std::string& Error() const { return fError; }
  void Fail(const std::string& why) {
    if (fError.empty()) fError = why;
  }

  const json* Field(const json& object, const char* name, const std::string& where) {
    if (!Ok()) return nullptr;
    if (!object.is_object()) {
      Fail(where + " is not an object");
      return nullptr;
    }
    auto found = object.find(name);
    if (found == object.end()) {
      Fail(where + " has no \"" + name + "\"");
      return nullptr;
    }
    return &*found;
  }
  const json* Object(const json& object, const char* name) {
    const json* value = Field(object, name, "the manifest");
    if (value != nullptr && !value->is_object()) {
      Fail(std::string("\"") + name + "\" is not an object");
      return nullptr;
    }
    return value;
  }
  bool Bool(const json& object, const char* name, const std::string& where) {
    const json* value = Field(object, name, where);
    if (value == nullptr) return false;
    if (!value->is_boolean()) {
      Fail(where + ": \"" + name + "\" is not true or false");
      return false;
    }
    return value->get<bool>();
  }
  int64_t Integer(const json& object, const char* name, const std::string& where, int64_t low, int64_t high) {
    const json* value = Field(object, name, where);
    if (value == nullptr) return low;
    if (!value->is_number_integer()) {
      Fail(where + ": \"" + name + "\" is not a whole number");
      return low;
    }
    const int64_t n = value->is_number_unsigned() && value->get<uint64_t>() > uint64_t(INT64_MAX)
                          ? INT64_MAX
                          : value->get<int64_t>();
    if (n < low || n > high) {
      Fail(where + ": \"" + name + "\" is " + std::to_string(n) + ", outside " + std::to_string(low) +
           " to " + std::to_string(high));
      return low;
    }
    return n;
  }
  float Number(const json& value, const std::string& what) {
    if (!Ok()) return 0;
    if (!value.is_number()) {
      Fail(what + " is not a number");
      return 0;
    }
    const float f = float(value.get<double>());
    if (!std::isfinite(f)) {
      Fail(what + " is not a finite number");
      return 0;
    }
    return f;
  }
  float Number(const json& object, const char* name, const std::string& where) {
    const json* value = Field(object, name, where);
    return value == nullptr ? 0.0f : Number(*value, where + ": \"" + name + "\"");
  }
  std::string Text(const json& object, const char* name, const std::string& where) {
    const json* value = Field(object, name, where);
    if (value == nullptr) return {};
    if (!value->is_string()) {
      Fail(where + ": \"" + name + "\" is not a string");
      return {};
    }
    std::string text = value->get<std::string>();
    if (text.size() > kSessionMaxTextLength) {
      Fail(where + ": \"" + name + "\" is longer than " + std::to_string(kSessionMaxTextLength) + " bytes");
      return {};
    }
    if (text.find('\0') != std::string::npos) {
      Fail(where + ": \"" + name + "\" holds a zero byte");
      return {};
    }
    return text;
  }
  // Exactly count finite numbers (count 0: any length up to max).
  std::vector<float> Numbers(const json& object, const char* name, const std::string& where, size_t count) {
    const json* value = Field(object, name, where);
    if (value == nullptr) return {};
    if (!value->is_array() || value->size() != count) {
      Fail(where + ": \"" + name + "\" is not a list of " + std::to_string(count) + " numbers");
      return {};
    }
    std::vector<float> numbers;
    numbers.reserve(count);
    for (const json& item : *value) numbers.push_back(Number(item, where + ": \"" + name + "\""));
    return numbers;
  }

 private:
  std::string fError;
};

// One entry of the container, whole and checked against its checksum.
bool ReadEntry(zip_t* archive, const std::string& name, std::vector<unsigned char>* data, std::string* why) {
  const zip_int64_t index = zip_name_locate(archive, name.c_str(), 0);
  if (index < 0) {
    *why = "\"" + name + "\" is missing";
    return false;
  }
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (zip_stat_index(archive, zip_uint64_t(index), 0, &stat) != 0 || (stat.valid & ZIP_STAT_SIZE) == 0) {
    *why = "\"" + name + "\" is damaged";
    return false;
  }
  if (stat.size > kSessionMaxEntryBytes) {
    *why = "\"" + name + "\" is too large";
    return false;
  }
  zip_file_t* file = zip_fopen_index(archive, zip_uint64_t(index), 0);
  if (file == nullptr) {
    *why = "\"" + name + "\" cannot be read (" + zip_strerror(archive) + ")";
    return false;
  }
  data->assign(size_t(stat.size) + 1, 0);
  size_t got = 0;
  bool ok = true;
  // One byte more than declared: a longer entry is damaged too.
  while (got < data->size()) {
    const zip_int64_t n = zip_fread(file, data->data() + got, data->size() - got);
    if (n < 0) {
      *why = "\"" + name + "\" is damaged (" + zip_file_strerror(file) + ")";
      ok = false;
      break;
    }
    if (n == 0) break;
    got += size_t(n);
  }
  zip_fclose(file);
  if (ok && got != size_t(stat.size)) {
    *why = "\"" + name + "\" is damaged (its length is not the one recorded)";
    ok = false;
  }
  data->resize(got);
  return ok;
}

SessionTarget ReadTarget(ManifestReader& reader, const json& manifest, const char* name) {
  SessionTarget target;
  const json* object = reader.Object(manifest, name);
  if (object == nullptr) return target;
  const std::string where = std::string("\"") + name + "\"";
  target.on = reader.Bool(*object, "on", where);
  target.signature = reader.Text(*object, "signature", where);
  target.code = uint32_t(reader.Integer(*object, "code", where, 0, UINT32_MAX));
  return target;
}

void ReadSettings(ManifestReader& reader, const json& manifest, SessionSettings* s) {
  if (const json* sliders = reader.Object(manifest, "sliders")) {
    s->smoothingAmount = reader.Number(*sliders, "smoothingAmount", "\"sliders\"");
    s->edgeContrastThreshold = reader.Number(*sliders, "edgeContrastThreshold", "\"sliders\"");
    s->temporalBlending = reader.Number(*sliders, "temporalBlending", "\"sliders\"");
  }
  if (const json* input = reader.Object(manifest, "input")) {
    s->smoothInputImages = reader.Bool(*input, "smoothImages", "\"input\"");
    s->blendInputImages = reader.Bool(*input, "blendImages", "\"input\"");
  }
  s->smoothOutput = reader.Bool(manifest, "smoothOutput", "the manifest");
  s->position = ReadTarget(reader, manifest, "positionTarget");
  s->matched = ReadTarget(reader, manifest, "matchedTarget");
  if (const json* midi = reader.Object(manifest, "midi")) {
    const std::string where = "\"midi\"";
    s->midiPort = reader.Text(*midi, "port", where);
    s->matchedNoteToMidi = reader.Bool(*midi, "matchedNote", where);
    s->matchedModwheelToMidi = reader.Bool(*midi, "matchedModwheel", where);
    s->matchedNoteToSynth = reader.Bool(*midi, "matchedNoteToSynth", where);
    s->notesToMidi = reader.Bool(*midi, "notes", where);
    s->notesToSynth = reader.Bool(*midi, "notesToSynth", where);
    s->positionToMidi = reader.Bool(*midi, "positionPressure", where);
    s->buss = int32_t(reader.Integer(*midi, "buss", where, 1, 16));
  }
  if (const json* lcs = reader.Object(manifest, "lcs")) {
    s->lcsDevice = reader.Text(*lcs, "device", "\"lcs\"");
    s->positionToLcs = reader.Bool(*lcs, "position", "\"lcs\"");
    s->lcsZMapping = int32_t(reader.Integer(*lcs, "zMapping", "\"lcs\"", 0, 2));
  }
}

bool ReadPicture(zip_t* archive, ManifestReader& reader, const json& item, const std::string& where,
                 size_t* budget, SessionPicture* picture) {
  const std::string name = reader.Text(item, "picture", where);
  if (!reader.Ok()) return false;
  std::vector<unsigned char> png;
  std::string why;
  if (!ReadEntry(archive, name, &png, &why) ||
      !DecodePng(png.data(), png.size(), kSessionMaxPictureSide, picture, &why)) {
    reader.Fail(where + ": " + why);
    return false;
  }
  // Small files of large plain pictures must not take all the memory there is.
  if (picture->pixels.size() > *budget) {
    reader.Fail("its pictures need more than " + std::to_string(kSessionMaxPictureBytes >> 20) + " MiB");
    return false;
  }
  *budget -= picture->pixels.size();
  return true;
}

}  // namespace

bool EncodeSession(const Session& session, std::vector<unsigned char>* bytes, std::string* why) {
  // Every buffer a source points at lives until the archive is closed.
  std::vector<std::vector<unsigned char>> entries;
  std::vector<std::string> names;
  // Text that is not UTF-8 (a signature from another program, say) is kept readable.
  const std::string text = Manifest(session).dump(1, ' ', false, ordered::error_handler_t::replace);
  entries.emplace_back(text.begin(), text.end());
  names.push_back(kSessionManifest);
  for (size_t i = 0; i < session.examples.size(); i++) {
    entries.emplace_back();
    if (!EncodePng(session.examples[i].picture, &entries.back(), why)) return false;
    names.push_back(PictureName("examples", i));
  }
  for (size_t i = 0; i < session.keyFrames.size(); i++) {
    entries.emplace_back();
    if (!EncodePng(session.keyFrames[i].picture, &entries.back(), why)) return false;
    names.push_back(PictureName("keyframes", i));
  }

  zip_error_t error;
  zip_error_init(&error);
  std::unique_ptr<zip_source_t, SourceDeleter> buffer(zip_source_buffer_create(nullptr, 0, 0, &error));
  if (!buffer) {
    *why = std::string("cannot make the container: ") + zip_error_strerror(&error);
    zip_error_fini(&error);
    return false;
  }
  std::unique_ptr<zip_t, ZipDeleter> archive(zip_open_from_source(buffer.get(), ZIP_TRUNCATE, &error));
  if (!archive) {
    *why = std::string("cannot make the container: ") + zip_error_strerror(&error);
    zip_error_fini(&error);
    return false;
  }
  zip_error_fini(&error);
  // The archive writes into the buffer when it closes; the buffer must outlive it.
  zip_source_keep(buffer.get());
  for (size_t i = 0; i < entries.size(); i++)
    if (!AddEntry(archive.get(), names[i], entries[i], i == 0, why)) return false;
  if (zip_close(archive.get()) != 0) {
    *why = std::string("cannot make the container: ") + zip_strerror(archive.get());
    return false;
  }
  (void)archive.release();

  zip_source_t* source = buffer.get();
  if (zip_source_open(source) != 0 || zip_source_seek(source, 0, SEEK_END) != 0) {
    *why = "cannot read back the container";
    return false;
  }
  const zip_int64_t size = zip_source_tell(source);
  bytes->assign(size_t(size < 0 ? 0 : size), 0);
  const bool read = size >= 0 && zip_source_seek(source, 0, SEEK_SET) == 0 &&
                    zip_source_read(source, bytes->data(), zip_uint64_t(size)) == size;
  zip_source_close(source);
  if (!read) *why = "cannot read back the container";
  return read;
}

bool DecodeSession(const unsigned char* bytes, size_t size, Session* session, std::string* why) {
  if (size == 0) {
    *why = "the file is empty";
    return false;
  }
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(bytes, size, 0, &error);
  if (source == nullptr) {
    *why = std::string("cannot read it: ") + zip_error_strerror(&error);
    zip_error_fini(&error);
    return false;
  }
  std::unique_ptr<zip_t, ZipDeleter> archive(zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error));
  if (!archive) {
    zip_source_free(source);
    *why = std::string("not a session file, or a damaged or truncated one (") + zip_error_strerror(&error) + ")";
    zip_error_fini(&error);
    return false;
  }
  zip_error_fini(&error);

  std::vector<unsigned char> text;
  if (!ReadEntry(archive.get(), kSessionManifest, &text, why)) {
    *why = "not a session file: " + *why;
    return false;
  }
  const json manifest = json::parse(text.begin(), text.end(), nullptr, false);
  if (manifest.is_discarded() || !manifest.is_object()) {
    *why = "its manifest is not readable JSON";
    return false;
  }
  ManifestReader reader;
  // The format and version first: a newer file is refused for what it is, not for a field
  // this program does not know.
  const json* format = reader.Field(manifest, "format", "the manifest");
  if (format == nullptr || !format->is_string() || format->get<std::string>() != kSessionFormat) {
    *why = "not a session file (its manifest is not one of a Zanvel session)";
    return false;
  }
  const json* version = reader.Field(manifest, "version", "the manifest");
  if (version == nullptr || !version->is_number_integer() || version->get<int64_t>() < 1) {
    *why = "its manifest has no valid \"version\"";
    return false;
  }
  if (version->is_number_unsigned() ? version->get<uint64_t>() > uint64_t(kSessionVersion)
                                    : version->get<int64_t>() > kSessionVersion) {
    *why = "made by a newer Zanvel (layout version " + version->dump() + "; this one reads up to " +
           std::to_string(kSessionVersion) + ")";
    return false;
  }

  Session result;
  if (const json* analysis = reader.Object(manifest, "analysis")) {
    result.analysisWidth = int32_t(reader.Integer(*analysis, "width", "\"analysis\"", 1, kSessionMaxPictureSide));
    result.analysisHeight = int32_t(reader.Integer(*analysis, "height", "\"analysis\"", 1, kSessionMaxPictureSide));
    result.numBins = int32_t(reader.Integer(*analysis, "bins", "\"analysis\"", 1, kSessionMaxBins));
    result.contrastThreshold = reader.Number(*analysis, "contrastThreshold", "\"analysis\"");
  }
  ReadSettings(reader, manifest, &result.settings);

  const json* examples = reader.Field(manifest, "examples", "the manifest");
  const json* keyFrames = reader.Field(manifest, "keyFrames", "the manifest");
  if (reader.Ok() && (!examples->is_array() || !keyFrames->is_array()))
    reader.Fail("\"examples\" and \"keyFrames\" must be lists");
  if (reader.Ok() && examples->size() + keyFrames->size() > size_t(kSessionMaxItems))
    reader.Fail("more than " + std::to_string(kSessionMaxItems) + " examples and key frames");
  const size_t bins = size_t(result.numBins);
  size_t budget = kSessionMaxPictureBytes;
  for (size_t i = 0; reader.Ok() && i < examples->size(); i++) {
    const json& item = (*examples)[i];
    const std::string where = "example " + std::to_string(i + 1);
    SessionExample example;
    example.histogram = reader.Numbers(item, "histogram", where, bins);
    if (ReadPicture(archive.get(), reader, item, where, &budget, &example.picture))
      result.examples.push_back(std::move(example));
  }
  for (size_t i = 0; reader.Ok() && i < keyFrames->size(); i++) {
    const json& item = (*keyFrames)[i];
    const std::string where = "key frame " + std::to_string(i + 1);
    SessionKeyFrame keyFrame;
    keyFrame.histogram = reader.Numbers(item, "histogram", where, bins);
    const std::vector<float> values = reader.Numbers(item, "values", where, 3);
    for (size_t k = 0; k < values.size() && k < 3; k++) keyFrame.values[k] = values[k];
    keyFrame.name = reader.Text(item, "name", where);
    if (ReadPicture(archive.get(), reader, item, where, &budget, &keyFrame.picture))
      result.keyFrames.push_back(std::move(keyFrame));
  }
  if (!reader.Ok()) {
    *why = reader.Error();
    return false;
  }
  *session = std::move(result);
  return true;
}

bool SaveSessionFile(const std::string& path, const Session& session, std::string* why) {
  std::vector<unsigned char> bytes;
  return EncodeSession(session, &bytes, why) && WriteFileSafely(path, bytes, why);
}

bool LoadSessionFile(const std::string& path, Session* session, std::string* why) {
  std::vector<unsigned char> bytes;
  return ReadWholeFile(path, kSessionMaxFileBytes, &bytes, why) &&
         DecodeSession(bytes.data(), bytes.size(), session, why);
}
