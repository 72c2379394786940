#include "platform/app/BApplication.h"

#include <cstdio>

#include "platform/app/MessageReceiver.h"
#include "platform/support/Log.h"

BApplication* be_app = nullptr;

BApplication::BApplication(const char* signature)
    : BLooper("application"), fSignature(signature != nullptr ? signature : "") {
  be_app = this;
  fReceiver = std::make_unique<MessageReceiver>(fSignature.c_str(), [this](BMessage&& message) {
    // Only the loop itself says when it is ready.
    if (message.what == B_READY_TO_RUN) return;
    // Waits while the queue is full, so the sender is slowed down rather than losing messages.
    PostMessageWaiting(std::move(message), fClosing);
  });
  fInitStatus = fReceiver->InitCheck();
  if (fInitStatus != B_OK) {
    Log(LogLevel::kError, "zanvel: messages from other programs will not arrive: %s",
            fReceiver->Error().c_str());
  }
}

BApplication::~BApplication() {
  // The receiver's thread posts into this looper; stop it before the queue goes.
  fClosing.store(true);
  fReceiver.reset();
  StopLoop();
  if (be_app == this) be_app = nullptr;
}

std::thread::id BApplication::Run() {
  PostAtFront(B_READY_TO_RUN);
  RunOnCallingThread();
  return std::this_thread::get_id();
}

void BApplication::Quit() { StopLoop(); }

void BApplication::ReadyToRun() {}

void BApplication::DispatchMessage(BMessage* message, BHandler* handler) {
  if (message->what == B_READY_TO_RUN && handler == this) {
    ReadyToRun();
    return;
  }
  BLooper::DispatchMessage(message, handler);
}
