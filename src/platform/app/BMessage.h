#pragma once
// A message: a `what` code and named, typed fields kept in the order they were added.
//
// A name may hold several values of one type (Add the same name again, Find with an index).
// Flatten/Unflatten turn a message into the bytes described in docs/messages.md and back.

#include <cstddef>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "platform/app/AppDefs.h"

class MessageTarget;

class BMessage {
 public:
  // One field as stored: its name, type code and value (int32, float, bool or string).
  using Value = std::variant<int32, float, bool, std::string>;
  struct Field {
    std::string name;
    type_code type;
    Value value;
  };

  // Longest name and string the flattened form carries; longer ones are refused on Add.
  static constexpr size_t kMaxNameLength = 255;
  static constexpr size_t kMaxStringLength = 65535;
  // Most fields one message holds.
  static constexpr int32 kMaxFields = 4096;

  BMessage() = default;
  explicit BMessage(uint32 what) : what(what) {}
  BMessage(const BMessage&) = default;
  BMessage& operator=(const BMessage&) = default;
  BMessage(BMessage&&) = default;
  BMessage& operator=(BMessage&&) = default;
  virtual ~BMessage() = default;

  // Each Add appends a field. B_BAD_TYPE when the name already holds another type,
  // B_BAD_VALUE for a null, empty or overlong name or string, B_NO_MEMORY past kMaxFields.
  status_t AddInt32(const char* name, int32 value);
  status_t AddFloat(const char* name, float value);
  status_t AddString(const char* name, const char* value);
  status_t AddString(const char* name, const std::string& value);
  status_t AddBool(const char* name, bool value);

  // The index-th value of that name: B_OK, B_NAME_NOT_FOUND (no such name), B_BAD_TYPE
  // (the name holds another type) or B_BAD_INDEX. The value is untouched on failure.
  status_t FindInt32(const char* name, int32* value) const { return FindInt32(name, 0, value); }
  status_t FindInt32(const char* name, int32 index, int32* value) const;
  status_t FindFloat(const char* name, float* value) const { return FindFloat(name, 0, value); }
  status_t FindFloat(const char* name, int32 index, float* value) const;
  status_t FindBool(const char* name, bool* value) const { return FindBool(name, 0, value); }
  status_t FindBool(const char* name, int32 index, bool* value) const;
  // The string stays owned by the message and lives until the message changes.
  status_t FindString(const char* name, const char** value) const { return FindString(name, 0, value); }
  status_t FindString(const char* name, int32 index, const char** value) const;
  status_t FindString(const char* name, std::string* value) const;

  // True when the name holds a value (of any type).
  bool HasField(const char* name) const;

  // Fields in the order they were added, for printing and forwarding.
  int32 CountFields() const { return int32(fFields.size()); }
  const Field* FieldAt(int32 index) const;
  // Name and type of the index-th field: B_OK or B_BAD_INDEX.
  status_t GetInfo(int32 index, const char** name, type_code* type) const;

  bool IsEmpty() const { return fFields.empty(); }
  // Removes every field; `what` stays.
  void MakeEmpty() { fFields.clear(); }

  // Bytes of the flattened message.
  size_t FlattenedSize() const;
  // Appends the flattened message to `out`.
  void Flatten(std::vector<uint8>* out) const;
  std::vector<uint8> Flatten() const;
  // Replaces this message by the one in `data`. Malformed bytes leave the message as it was
  // and give B_BAD_DATA, with the reason in `error` when one is asked for.
  status_t Unflatten(const void* data, size_t size, std::string* error = nullptr);

  // Compares the code and the fields; where a message came from does not count.
  bool operator==(const BMessage& other) const;

  // Where a message that came from another program can be answered: its sender's connection,
  // or the OSC address it came from. Set by the receivers; never flattened; copies share it.
  void SetReturnAddress(std::shared_ptr<MessageTarget> target) { fReturnAddress = std::move(target); }
  // True for a message another program sent (it carries a return address).
  bool IsSourceRemote() const { return fReturnAddress != nullptr; }
  // Sends `reply` to the sender without waiting: B_OK, B_BAD_PORT_ID when the message has no
  // sender to answer or the sender has gone, B_WOULD_BLOCK when the sender is not reading.
  status_t SendReply(const BMessage* reply) const;

  uint32 what = 0;

 private:
  status_t Add(const char* name, type_code type, Value value);
  const Field* Find(const char* name, type_code type, int32 index, status_t* status) const;

  std::vector<Field> fFields;
  std::shared_ptr<MessageTarget> fReturnAddress;
};
