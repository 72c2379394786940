#pragma once
// Something that handles messages; a BLooper hands each message to its handler.

#include <string>

class BLooper;
class BMessage;

class BHandler {
 public:
  explicit BHandler(const char* name = nullptr) : fName(name ? name : "") {}
  virtual ~BHandler() = default;
  BHandler(const BHandler&) = delete;
  BHandler& operator=(const BHandler&) = delete;

  // Called on the looper's thread, with the looper locked, once per message. The message
  // stays owned by the looper. The default drops it.
  virtual void MessageReceived(BMessage* message);

  // The looper this handler belongs to (a looper is its own handler).
  BLooper* Looper() const { return fLooper; }
  const char* Name() const { return fName.c_str(); }

 private:
  friend class BLooper;
  std::string fName;
  BLooper* fLooper = nullptr;
};
