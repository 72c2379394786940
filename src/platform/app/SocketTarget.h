#pragma once
// Sends flattened messages to the socket a program registered for its signature.

#include <mutex>
#include <string>

#include "platform/app/AppDefs.h"
#include "platform/app/MessageTarget.h"

class SocketTarget : public MessageTarget {
 public:
  // Connects now; a program that does not answer leaves the target invalid for good. With a
  // team (process id) other than -1, only that process counts as the receiver.
  SocketTarget(const char* signature, team_id team);
  ~SocketTarget() override;

  // True while the receiver is connected (it has not exited since).
  bool IsValid() override;
  // B_BAD_PORT_ID once the receiver is gone, B_BAD_VALUE for a message too long to carry.
  status_t Send(const BMessage& message, bigtime_t timeout) override;

 private:
  void Drop();

  std::mutex fMutex;
  int fFd = -1;
};
