#include "interpreter/TargetOutput.h"

#include <chrono>
#include <cstring>

#include "platform/app/BRoster.h"
#include "platform/interface/BAlert.h"
#include "platform/interface/AlertService.h"
#include "interpreter/TargetMessages.h"

namespace {
// One wait for room in the receiver's queue; between two the worker looks whether it
// should stop or whether a newer value made this one stale.
constexpr bigtime_t kSendSlice = 20000;
// A send that waits this long means the receiver is not reading.
constexpr auto kStallAfter = std::chrono::milliseconds(200);
// How long a launched receiver gets to answer.
constexpr bigtime_t kLaunchWait = 2500000;

const char* Reason(status_t status) {
  return status == B_BAD_PORT_ID ? "receiver not running" : "message refused";
}
}  // namespace

TargetOutput::TargetOutput(const char* name, const char* threadName, const char* signature,
                           uint32 command, bool placesSpeakers)
    : Output(name),
      fPlacesSpeakers(placesSpeakers),
      fSignature(signature),
      fCommand(command),
      fWorker(threadName) {}

TargetOutput::~TargetOutput() = default;

void TargetOutput::SetSignature(const char* signature) {
  std::lock_guard<std::mutex> hold(fLock);
  fSignature = signature ? signature : "";
}

void TargetOutput::GetSignature(char* buffer, size_t size) const {
  if (buffer == nullptr || size == 0) return;
  std::lock_guard<std::mutex> hold(fLock);
  const size_t length = std::min(fSignature.size(), size - 1);
  std::memcpy(buffer, fSignature.data(), length);
  buffer[length] = '\0';
}

void TargetOutput::SetCommand(uint32 what) {
  std::lock_guard<std::mutex> hold(fLock);
  fCommand = what;
}

uint32 TargetOutput::Command() const {
  std::lock_guard<std::mutex> hold(fLock);
  return fCommand;
}

void TargetOutput::SetOn(bool on) {
  std::string signature;
  {
    std::lock_guard<std::mutex> hold(fLock);
    signature = fSignature;
  }
  // Switching on again replaces the messenger, so the receiver is looked up afresh.
  // Asked for by another program, the alert must not stand in a person's way either.
  const bool forAnotherProgram = ScopedNoWaitAlerts::Active();
  fWorker.PostControl([this, on, signature, forAnotherProgram] {
    ScopedNoWaitAlerts noWait(forAnotherProgram);
    fMessenger.reset();
    if (on) Connect(signature);
  });
  fOn.store(on, std::memory_order_relaxed);
}

void TargetOutput::Connect(const std::string& signature) {
  auto messenger = std::make_unique<BMessenger>(signature.c_str());
  if (!messenger->IsValid()) {
    be_roster->Launch(signature.c_str());
    if (!fWorker.Sleep(kLaunchWait)) return;
    messenger = std::make_unique<BMessenger>(signature.c_str());
    if (!messenger->IsValid()) {
      CountFailed("receiver not running");
      const std::string text = "Problem launching target app with signature = \n" + signature +
                               "\nStart it manually, then try the checkbox again.";
      (new BAlert("", text.c_str(), "uh, ok.", nullptr, nullptr, B_WIDTH_AS_USUAL, B_INFO_ALERT))
          ->Go(nullptr);
    }
  }
  fMessenger = std::move(messenger);
  if (fPlacesSpeakers && signature == kSpeakerReceiverSignature) {
    for (int32 speaker = 0; speaker < kSpeakerCount; speaker++) {
      std::unique_ptr<BMessage> message(MakeSpeakerMessage(speaker));
      Deliver(*message, false);
    }
  }
}

void TargetOutput::Deliver(const BMessage& message, bool latest) {
  if (fMessenger == nullptr) return;  // switched off before this went out
  for (;;) {
    const status_t status = fMessenger->SendMessage(&message, nullptr, kSendSlice);
    if (status == B_OK) {
      fWaitingSince.reset();
      CountSent();
      Flowing();
      return;
    }
    if (status != B_TIMED_OUT) {
      fWaitingSince.reset();
      CountFailed(Reason(status));
      return;
    }
    // Measured across messages: a stale position gives way to a newer one long before a
    // single send would look stuck.
    const auto now = std::chrono::steady_clock::now();
    if (!fWaitingSince) fWaitingSince = now;
    if (now - *fWaitingSince >= kStallAfter) Stalled("receiver not reading");
    if (fWorker.Stopping() || (latest && fWorker.NewerLatestWaiting())) {
      CountDropped();
      return;
    }
  }
}
