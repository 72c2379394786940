#include "platform/app/BMessenger.h"

#include <atomic>

#include "platform/app/BLooper.h"
#include "platform/app/MessageFolder.h"
#include "platform/app/OscTarget.h"
#include "platform/app/SocketTarget.h"
#include "platform/support/Time.h"

namespace {

class LooperTarget : public MessageTarget {
 public:
  LooperTarget(BHandler* handler, BLooper* looper) : fHandler(handler), fLooper(looper) {}
  bool IsValid() override { return true; }
  status_t Send(const BMessage& message, bigtime_t timeout) override {
    const bigtime_t deadline =
        timeout == B_INFINITE_TIMEOUT ? B_INFINITE_TIMEOUT : system_time() + timeout;
    for (;;) {
      status_t status = fLooper->PostMessage(&message, fHandler);
      if (status != B_WOULD_BLOCK) return status;
      if (deadline != B_INFINITE_TIMEOUT && system_time() >= deadline) return B_TIMED_OUT;
      snooze(1000);
    }
  }

 private:
  BHandler* fHandler;
  BLooper* fLooper;
};

}  // namespace

BMessenger::BMessenger() = default;
BMessenger::~BMessenger() = default;
BMessenger::BMessenger(const BMessenger&) = default;
BMessenger& BMessenger::operator=(const BMessenger&) = default;

BMessenger::BMessenger(const char* signature, team_id team, status_t* result) {
  if (signature == nullptr || signature[0] == '\0') {
    if (result != nullptr) *result = B_BAD_VALUE;
    return;
  }
  if (is_osc_signature(signature))
    fTarget = std::make_shared<OscTarget>(signature);
  else
    fTarget = std::make_shared<SocketTarget>(signature, team);
  if (result != nullptr) *result = fTarget->IsValid() ? B_OK : B_BAD_PORT_ID;
}

BMessenger::BMessenger(const BHandler* handler, const BLooper* looper, status_t* result) {
  BLooper* target = const_cast<BLooper*>(looper);
  if (target == nullptr && handler != nullptr) target = handler->Looper();
  if (target == nullptr) {
    if (result != nullptr) *result = B_BAD_VALUE;
    return;
  }
  fTarget = std::make_shared<LooperTarget>(const_cast<BHandler*>(handler), target);
  if (result != nullptr) *result = B_OK;
}

bool BMessenger::IsValid() const { return fTarget != nullptr && fTarget->IsValid(); }

status_t BMessenger::SendMessage(const BMessage* message, BHandler* replyTo,
                                 bigtime_t timeout) const {
  if (message == nullptr || replyTo != nullptr) return B_BAD_VALUE;
  if (fTarget == nullptr) return B_BAD_PORT_ID;
  return fTarget->Send(*message, timeout);
}

status_t BMessenger::SendMessage(const BMessage* message, BMessage* reply,
                                 bigtime_t deliveryTimeout, bigtime_t replyTimeout) const {
  if (message == nullptr || reply == nullptr) return B_BAD_VALUE;
  if (fTarget == nullptr) return B_BAD_PORT_ID;
  return fTarget->SendForReply(*message, reply, deliveryTimeout, replyTimeout);
}

status_t BMessenger::SendMessage(uint32 what, BHandler* replyTo) const {
  BMessage message(what);
  return SendMessage(&message, replyTo);
}
