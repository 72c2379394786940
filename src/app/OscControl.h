#pragma once
// Commands as OSC (--osc-port): "/zanvel/<code>" runs the command of that code, as if another
// program had sent it by signature; its one argument, if any, becomes the field the command
// takes ("source" for a check box or a text, "index" for a choice, "port" for a device). A
// "stat" is answered to the sender's address and port at "/zanvel/status".
//
// Threads: messages are decoded on the OSC receiver's thread and join the application's
// queue, so every command runs on the application's thread like a local one. A full queue
// holds the receiver back (UDP then drops what the system cannot keep).

#include <atomic>
#include <memory>
#include <string>

#include "platform/support/Status.h"

class BLooper;
class OscReceiver;

class OscControl {
 public:
  // Listens on bindAddress:port and posts the commands into `application`, which must outlive
  // this object. InitCheck and Error tell why it could not listen.
  OscControl(BLooper* application, const char* bindAddress, int port);
  ~OscControl();

  status_t InitCheck() const;
  const std::string& Error() const;

  // The field that carries the value of the command `code`: "source", "index" or "port"; ""
  // for a command that takes no value; nullptr for a code that is no command.
  static const char* ValueField(uint32 code);

 private:
  std::atomic<bool> fStopping{false};
  std::unique_ptr<OscReceiver> fReceiver;
};
