#include "platform/app/BMessage.h"

#include <algorithm>
#include <cstring>

#include "platform/app/MessageTarget.h"

namespace {

constexpr uint8 kMagic[4] = {'Z', 'M', 'S', 'G'};
constexpr uint8 kVersion = 1;
constexpr size_t kHeaderSize = 20;

bool ValidName(const char* name) {
  if (name == nullptr || name[0] == '\0') return false;
  return strnlen(name, BMessage::kMaxNameLength + 1) <= BMessage::kMaxNameLength;
}

bool KnownType(type_code type) {
  return type == B_INT32_TYPE || type == B_FLOAT_TYPE || type == B_STRING_TYPE ||
         type == B_BOOL_TYPE;
}

void PutU32(std::vector<uint8>* out, uint32 v) {
  for (int i = 0; i < 4; i++) out->push_back(uint8(v >> (8 * i)));
}

uint32 GetU32(const uint8* p) {
  return uint32(p[0]) | (uint32(p[1]) << 8) | (uint32(p[2]) << 16) | (uint32(p[3]) << 24);
}

std::string CodeText(uint32 code) {
  char text[16];
  snprintf(text, sizeof(text), "0x%08x", code);
  return text;
}

// Reads the flattened form front to back; every read checks that the bytes are there.
class Reader {
 public:
  Reader(const uint8* data, size_t size) : fData(data), fSize(size) {}
  size_t Left() const { return fSize - fOffset; }
  size_t Offset() const { return fOffset; }
  bool Bytes(size_t n, const uint8** p) {
    if (Left() < n) return false;
    *p = fData + fOffset;
    fOffset += n;
    return true;
  }
  bool U8(uint8* v) {
    const uint8* p;
    if (!Bytes(1, &p)) return false;
    *v = *p;
    return true;
  }
  bool U32(uint32* v) {
    const uint8* p;
    if (!Bytes(4, &p)) return false;
    *v = GetU32(p);
    return true;
  }

 private:
  const uint8* fData;
  size_t fSize;
  size_t fOffset = 0;
};

status_t Refuse(std::string* error, const std::string& why) {
  if (error != nullptr) *error = why;
  return B_BAD_DATA;
}

}  // namespace

status_t BMessage::Add(const char* name, type_code type, Value value) {
  if (!ValidName(name)) return B_BAD_VALUE;
  if (fFields.size() >= size_t(kMaxFields)) return B_NO_MEMORY;
  for (const Field& f : fFields) {
    if (f.name == name && f.type != type) return B_BAD_TYPE;
  }
  fFields.push_back(Field{name, type, std::move(value)});
  return B_OK;
}

status_t BMessage::AddInt32(const char* name, int32 value) { return Add(name, B_INT32_TYPE, value); }
status_t BMessage::AddFloat(const char* name, float value) { return Add(name, B_FLOAT_TYPE, value); }
status_t BMessage::AddBool(const char* name, bool value) { return Add(name, B_BOOL_TYPE, value); }

status_t BMessage::AddString(const char* name, const char* value) {
  if (value == nullptr) return B_BAD_VALUE;
  return AddString(name, std::string(value));
}

status_t BMessage::AddString(const char* name, const std::string& value) {
  // The flattened form has no room for a zero byte inside a string.
  if (value.size() > kMaxStringLength || value.find('\0') != std::string::npos) return B_BAD_VALUE;
  return Add(name, B_STRING_TYPE, value);
}

const BMessage::Field* BMessage::Find(const char* name, type_code type, int32 index,
                                      status_t* status) const {
  if (name == nullptr) {
    *status = B_BAD_VALUE;
    return nullptr;
  }
  int32 seen = 0;
  bool named = false;
  for (const Field& f : fFields) {
    if (f.name != name) continue;
    named = true;
    if (f.type != type) {
      *status = B_BAD_TYPE;
      return nullptr;
    }
    if (seen++ == index) {
      *status = B_OK;
      return &f;
    }
  }
  *status = named ? B_BAD_INDEX : B_NAME_NOT_FOUND;
  return nullptr;
}

status_t BMessage::FindInt32(const char* name, int32 index, int32* value) const {
  status_t status;
  const Field* f = Find(name, B_INT32_TYPE, index, &status);
  if (f != nullptr) *value = std::get<int32>(f->value);
  return status;
}

status_t BMessage::FindFloat(const char* name, int32 index, float* value) const {
  status_t status;
  const Field* f = Find(name, B_FLOAT_TYPE, index, &status);
  if (f != nullptr) *value = std::get<float>(f->value);
  return status;
}

status_t BMessage::FindBool(const char* name, int32 index, bool* value) const {
  status_t status;
  const Field* f = Find(name, B_BOOL_TYPE, index, &status);
  if (f != nullptr) *value = std::get<bool>(f->value);
  return status;
}

status_t BMessage::FindString(const char* name, int32 index, const char** value) const {
  status_t status;
  const Field* f = Find(name, B_STRING_TYPE, index, &status);
  if (f != nullptr) *value = std::get<std::string>(f->value).c_str();
  return status;
}

status_t BMessage::FindString(const char* name, std::string* value) const {
  status_t status;
  const Field* f = Find(name, B_STRING_TYPE, 0, &status);
  if (f != nullptr) *value = std::get<std::string>(f->value);
  return status;
}

bool BMessage::HasField(const char* name) const {
  if (name == nullptr) return false;
  for (const Field& f : fFields) {
    if (f.name == name) return true;
  }
  return false;
}

const BMessage::Field* BMessage::FieldAt(int32 index) const {
  if (index < 0 || index >= CountFields()) return nullptr;
  return &fFields[size_t(index)];
}

status_t BMessage::GetInfo(int32 index, const char** name, type_code* type) const {
  const Field* f = FieldAt(index);
  if (f == nullptr) return B_BAD_INDEX;
  if (name != nullptr) *name = f->name.c_str();
  if (type != nullptr) *type = f->type;
  return B_OK;
}

size_t BMessage::FlattenedSize() const {
  size_t size = kHeaderSize;
  for (const Field& f : fFields) {
    size += 4 + 1 + f.name.size();
    switch (f.type) {
      case B_INT32_TYPE:
      case B_FLOAT_TYPE:
        size += 4;
        break;
      case B_BOOL_TYPE:
        size += 1;
        break;
      case B_STRING_TYPE:
        size += 4 + std::get<std::string>(f.value).size();
        break;
    }
  }
  return size;
}

void BMessage::Flatten(std::vector<uint8>* out) const {
  out->reserve(out->size() + FlattenedSize());
  out->insert(out->end(), kMagic, kMagic + 4);
  out->push_back(kVersion);
  out->insert(out->end(), 3, 0);
  PutU32(out, uint32(FlattenedSize()));
  PutU32(out, what);
  PutU32(out, uint32(fFields.size()));
  for (const Field& f : fFields) {
    PutU32(out, f.type);
    out->push_back(uint8(f.name.size()));
    out->insert(out->end(), f.name.begin(), f.name.end());
    switch (f.type) {
      case B_INT32_TYPE:
        PutU32(out, uint32(std::get<int32>(f.value)));
        break;
      case B_FLOAT_TYPE: {
        uint32 bits;
        float v = std::get<float>(f.value);
        memcpy(&bits, &v, 4);
        PutU32(out, bits);
        break;
      }
      case B_BOOL_TYPE:
        out->push_back(std::get<bool>(f.value) ? 1 : 0);
        break;
      case B_STRING_TYPE: {
        const std::string& s = std::get<std::string>(f.value);
        PutU32(out, uint32(s.size()));
        out->insert(out->end(), s.begin(), s.end());
        break;
      }
    }
  }
}

std::vector<uint8> BMessage::Flatten() const {
  std::vector<uint8> out;
  Flatten(&out);
  return out;
}

status_t BMessage::Unflatten(const void* data, size_t size, std::string* error) {
  if (data == nullptr && size != 0) return Refuse(error, "no data");
  Reader in(static_cast<const uint8*>(data), size);
  const uint8* magic;
  if (!in.Bytes(4, &magic) || memcmp(magic, kMagic, 4) != 0)
    return Refuse(error, "not a message (the first four bytes are not ZMSG)");
  uint8 version, reserved[3];
  if (!in.U8(&version)) return Refuse(error, "truncated header");
  if (version != kVersion)
    return Refuse(error, "unknown message version " + std::to_string(version));
  for (uint8& r : reserved) {
    if (!in.U8(&r)) return Refuse(error, "truncated header");
    if (r != 0) return Refuse(error, "reserved header bytes are not zero");
  }
  uint32 total, newWhat, count;
  if (!in.U32(&total) || !in.U32(&newWhat) || !in.U32(&count))
    return Refuse(error, "truncated header");
  if (total != size)
    return Refuse(error, "message says it is " + std::to_string(total) + " bytes long, got " +
                             std::to_string(size));
  if (count > uint32(kMaxFields))
    return Refuse(error, "too many fields (" + std::to_string(count) + ")");

  BMessage decoded(newWhat);
  // The smallest field takes six bytes; a count the bytes cannot hold reserves no more.
  decoded.fFields.reserve(std::min<size_t>(count, in.Left() / 6));
  for (uint32 i = 0; i < count; i++) {
    const std::string where = "field " + std::to_string(i) + ": ";
    uint32 type;
    uint8 nameLength;
    const uint8* name;
    if (!in.U32(&type) || !in.U8(&nameLength)) return Refuse(error, where + "truncated");
    if (!KnownType(type)) return Refuse(error, where + "unknown type " + CodeText(type));
    if (nameLength == 0) return Refuse(error, where + "empty name");
    if (!in.Bytes(nameLength, &name)) return Refuse(error, where + "truncated name");
    if (memchr(name, 0, nameLength) != nullptr) return Refuse(error, where + "zero byte in name");
    std::string fieldName(reinterpret_cast<const char*>(name), nameLength);
    Value value;
    switch (type) {
      case B_INT32_TYPE: {
        uint32 v;
        if (!in.U32(&v)) return Refuse(error, where + "truncated int32");
        value = int32(v);
        break;
      }
      case B_FLOAT_TYPE: {
        uint32 bits;
        if (!in.U32(&bits)) return Refuse(error, where + "truncated float");
        float v;
        memcpy(&v, &bits, 4);
        value = v;
        break;
      }
      case B_BOOL_TYPE: {
        uint8 v;
        if (!in.U8(&v)) return Refuse(error, where + "truncated bool");
        if (v > 1) return Refuse(error, where + "bool is neither 0 nor 1");
        value = v == 1;
        break;
      }
      case B_STRING_TYPE: {
        uint32 length;
        const uint8* text;
        if (!in.U32(&length)) return Refuse(error, where + "truncated string length");
        if (length > kMaxStringLength)
          return Refuse(error, where + "string too long (" + std::to_string(length) + " bytes)");
        if (!in.Bytes(length, &text)) return Refuse(error, where + "truncated string");
        if (memchr(text, 0, length) != nullptr)
          return Refuse(error, where + "zero byte in string");
        value = std::string(reinterpret_cast<const char*>(text), length);
        break;
      }
    }
    status_t added = decoded.Add(fieldName.c_str(), type, std::move(value));
    if (added == B_BAD_TYPE)
      return Refuse(error, where + "\"" + fieldName + "\" already holds another type");
    if (added != B_OK) return Refuse(error, where + "refused");
  }
  if (in.Left() != 0)
    return Refuse(error, std::to_string(in.Left()) + " bytes after the last field");
  *this = std::move(decoded);
  return B_OK;
}

bool BMessage::operator==(const BMessage& other) const {
  if (what != other.what || fFields.size() != other.fFields.size()) return false;
  for (size_t i = 0; i < fFields.size(); i++) {
    const Field& a = fFields[i];
    const Field& b = other.fFields[i];
    if (a.name != b.name || a.type != b.type) return false;
    // Floats compare by bits, so a NaN field equals itself after a round trip.
    if (a.type == B_FLOAT_TYPE) {
      float x = std::get<float>(a.value), y = std::get<float>(b.value);
      if (memcmp(&x, &y, 4) != 0) return false;
    } else if (a.value != b.value) {
      return false;
    }
  }
  return true;
}

status_t BMessage::SendReply(const BMessage* reply) const {
  if (reply == nullptr) return B_BAD_VALUE;
  if (fReturnAddress == nullptr) return B_BAD_PORT_ID;
  // Zero timeout: the application's thread never waits for a sender that does not read.
  status_t status = fReturnAddress->Send(*reply, 0);
  return status == B_TIMED_OUT ? B_WOULD_BLOCK : status;
}
