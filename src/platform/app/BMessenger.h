#pragma once
// A handle on a receiver of messages: another program by its signature, an OSC server, or a
// looper of this program.
//
//   BMessenger("application/x-vnd.example")    the program registered under that signature
//                                               (valid while it runs and answers)
//   BMessenger("osc.udp://host:port/prefix")   OSC over UDP (see OscTarget.h); always valid
//   BMessenger(handler, looper)                 posts into a looper of this program
//
// Copies share one connection. Safe to use from several threads.

#include <memory>

#include "platform/app/AppDefs.h"
#include "platform/app/BMessage.h"

class BHandler;
class BLooper;
class MessageTarget;

class BMessenger {
 public:
  BMessenger();
  // Looks the receiver up now; a program started later needs a new messenger. With a team
  // (process id) other than -1, only that process counts.
  explicit BMessenger(const char* signature, team_id team = -1, status_t* result = nullptr);
  // A looper of this program (its own handler when `handler` is null). The looper must
  // outlive the messenger.
  BMessenger(const BHandler* handler, const BLooper* looper = nullptr, status_t* result = nullptr);
  ~BMessenger();
  BMessenger(const BMessenger&);
  BMessenger& operator=(const BMessenger&);

  // True while the receiver answers.
  bool IsValid() const;
  // Sends a copy of the message. replyTo must be null (answers to a handler are not
  // carried: B_BAD_VALUE; wait for an answer with the overload below). The timeout is in
  // microseconds: B_OK, B_TIMED_OUT, B_BAD_PORT_ID (no receiver), B_BAD_VALUE.
  status_t SendMessage(const BMessage* message, BHandler* replyTo = nullptr,
                       bigtime_t timeout = B_INFINITE_TIMEOUT) const;
  status_t SendMessage(uint32 what, BHandler* replyTo = nullptr) const;
  // Sends a copy and waits for the receiver's answer (BMessage::SendReply on its side), which
  // replaces *reply. Only another program's signature carries answers; elsewhere B_BAD_VALUE.
  // B_TIMED_OUT when the message was not taken within deliveryTimeout or no answer came within
  // replyTimeout (microseconds each).
  status_t SendMessage(const BMessage* message, BMessage* reply, bigtime_t deliveryTimeout,
                       bigtime_t replyTimeout) const;

 private:
  std::shared_ptr<MessageTarget> fTarget;
};
