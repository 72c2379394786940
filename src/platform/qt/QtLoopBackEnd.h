#pragma once
// Runs an application's message queue inside the Qt event loop on the GUI thread.
//
// Every post from any thread becomes at most one queued call on the GUI thread, which hands
// the whole queue to the looper. A modal dialog's nested event loop may deliver that call
// while a message is being handled; the looper then leaves the queue alone and the outer
// handler's loop goes on with it afterwards, so commands never run inside an alert.

#include <QObject>
#include <QPointer>
#include <atomic>

#include "platform/app/LoopBackEnd.h"

class QEventLoop;

class QtLoopBackEnd : public LoopBackEnd {
 public:
  // Create on the GUI thread, after the QApplication.
  QtLoopBackEnd();
  ~QtLoopBackEnd() override;

  void MessageQueued() override;
  void RunLoop(BLooper& looper) override;
  void StopLoop() override;

 private:
  void Dispatch();

  QObject fContext;  // lives on the GUI thread; queued calls are delivered to it
  std::atomic<BLooper*> fLooper{nullptr};
  std::atomic<bool> fCallPosted{false};
  std::atomic<bool> fStopRequested{false};
  QPointer<QEventLoop> fLoop;
};
