#pragma once
// Sends flattened messages to the socket a program registered for its signature.

#include <mutex>
#include <string>
#include <vector>

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
  // Answers come back on the connection; answers nobody waits for are thrown away.
  status_t SendForReply(const BMessage& message, BMessage* reply, bigtime_t sendTimeout,
                        bigtime_t replyTimeout) override;

 private:
  void Drop();
  status_t SendLocked(const std::vector<uint8>& bytes, bigtime_t timeout);
  // Throws away answers waiting on the connection; false when the receiver has gone.
  bool DiscardWaiting();

  std::mutex fMutex;
  int fFd = -1;
};
