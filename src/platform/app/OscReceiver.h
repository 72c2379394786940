#pragma once
// Receives OSC messages over UDP on a thread of its own: the opposite of OscTarget.
//
// Listens on one address and port (nothing else: 127.0.0.1 reaches this machine only). A
// message at prefix + "/" + one to four characters becomes that code; its arguments keep
// their order: int32 'i', float 'f', string 's' or 'S', bool 'T' or 'F'. Anything else (another
// address, a longer code, other argument types, a bundle, bytes that are not OSC) is refused
// with a line on standard error and counted. Each message comes with an OscTarget aimed at
// its sender's address and port, under the same prefix, to answer on.

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/app/BMessage.h"

class OscTarget;

class OscReceiver {
 public:
  // One argument: its type (B_INT32_TYPE, B_FLOAT_TYPE, B_STRING_TYPE or B_BOOL_TYPE) and the
  // member of that type.
  struct Argument {
    type_code type = B_INT32_TYPE;
    int32 i = 0;
    float f = 0.0f;
    bool b = false;
    std::string s;
  };
  // Runs on the receiver's thread, one message at a time, in the order they arrive.
  using Handler = std::function<void(uint32 code, std::vector<Argument>&& arguments,
                                     std::shared_ptr<OscTarget> sender)>;

  // Binds and starts receiving; InitCheck and Error tell why it could not.
  OscReceiver(const char* bindAddress, int port, const char* prefix, Handler handler);
  // Stops the thread (the handler is not called again) and closes the socket.
  ~OscReceiver();
  OscReceiver(const OscReceiver&) = delete;
  OscReceiver& operator=(const OscReceiver&) = delete;

  status_t InitCheck() const { return fStatus; }
  const std::string& Error() const { return fError; }
  // The port bound (the one asked for).
  int Port() const { return fPort; }
  // Turns true when the receiver is being destroyed; a handler that waits watches it.
  const std::atomic<bool>& Stopping() const { return fStopping; }
  uint64_t RefusedMessages() const { return fRefused.load(std::memory_order_relaxed); }

 private:
  void ThreadMain();
  void Refuse(const std::string& path, const std::string& why);
  void Handle(void* data, size_t size, const std::string& host, const std::string& port);

  std::string fPrefix;
  Handler fHandler;
  status_t fStatus = B_NO_INIT;
  std::string fError;
  int fPort = 0;
  int fFd = -1;
  int fWakeFd = -1;
  std::atomic<bool> fStopping{false};
  std::atomic<uint64_t> fRefused{0};
  std::thread fThread;
};
