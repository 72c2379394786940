#pragma once
// The program's own looper: registers its signature so that other programs' messages join
// its queue, runs the loop on the thread that calls Run(), and quits through QuitRequested.
//
// Messages from other programs and from the program's own windows go through the same queue,
// in the order they arrive. A GUI front end installs its own LoopBackEnd (see LoopBackEnd.h)
// before Run(), so that the queue is handled inside the toolkit's event loop.

#include <atomic>
#include <memory>
#include <string>

#include "platform/app/BLooper.h"

class MessageReceiver;

class BApplication : public BLooper {
 public:
  // Registers the signature for messages from other programs. Failing that (another
  // program holds it, the runtime folder is unsafe) the application still runs; InitCheck
  // tells why and the reason is printed to standard error.
  explicit BApplication(const char* signature);
  ~BApplication() override;

  status_t InitCheck() const { return fInitStatus; }
  const char* Signature() const { return fSignature.c_str(); }

  // Runs the loop on the calling thread until Quit; ReadyToRun comes first.
  std::thread::id Run() override;
  // Makes Run() return after the current message; the object stays alive.
  void Quit() override;
  // Called once, on the loop's thread, when the loop starts.
  virtual void ReadyToRun();

  void DispatchMessage(BMessage* message, BHandler* handler) override;

 private:
  std::string fSignature;
  status_t fInitStatus = B_NO_INIT;
  std::atomic<bool> fClosing{false};
  std::unique_ptr<MessageReceiver> fReceiver;
};

// The one application object of the process, or null.
extern BApplication* be_app;
