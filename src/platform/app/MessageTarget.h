#pragma once
// What a BMessenger sends through: a local program's socket, an OSC server, or a looper of
// this program. Implementations are safe to use from several threads.

#include "platform/app/BMessage.h"

class MessageTarget {
 public:
  virtual ~MessageTarget() = default;
  virtual bool IsValid() = 0;
  // B_OK, B_TIMED_OUT, or an error; never blocks longer than `timeout` (microseconds).
  virtual status_t Send(const BMessage& message, bigtime_t timeout) = 0;
  // Sends and waits for the receiver's answer on the same connection. B_BAD_VALUE where
  // the target carries no answers (OSC, loopers of this program); B_TIMED_OUT when no answer
  // came within replyTimeout.
  virtual status_t SendForReply(const BMessage& message, BMessage* reply, bigtime_t sendTimeout,
                                bigtime_t replyTimeout) {
    (void)message;
    (void)reply;
    (void)sendTimeout;
    (void)replyTimeout;
    return B_BAD_VALUE;
  }
};
