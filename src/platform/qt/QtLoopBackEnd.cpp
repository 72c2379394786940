#include "platform/qt/QtLoopBackEnd.h"

#include <QCoreApplication>
#include <QEventLoop>

#include "platform/app/BLooper.h"

QtLoopBackEnd::QtLoopBackEnd() = default;

QtLoopBackEnd::~QtLoopBackEnd() = default;

void QtLoopBackEnd::MessageQueued() {
  // One outstanding call is enough: it drains everything queued up to the moment it runs.
  if (fCallPosted.exchange(true))
    return;
  QMetaObject::invokeMethod(&fContext, [this] { Dispatch(); }, Qt::QueuedConnection);
}

void QtLoopBackEnd::Dispatch() {
  fCallPosted.store(false);
  if (BLooper* looper = fLooper.load())
    looper->DispatchMessages();
}

void QtLoopBackEnd::RunLoop(BLooper& looper) {
  fLooper.store(&looper);
  if (fStopRequested.load()) {
    fLooper.store(nullptr);
    return;
  }
  // Messages posted before the loop ran are waiting already.
  fCallPosted.store(false);
  MessageQueued();
  QEventLoop loop;
  fLoop = &loop;
  if (!fStopRequested.load())
    loop.exec();
  fLoop = nullptr;
  fLooper.store(nullptr);
}

void QtLoopBackEnd::StopLoop() {
  fStopRequested.store(true);
  QMetaObject::invokeMethod(
      &fContext,
      [this] {
        if (fLoop)
          fLoop->quit();
      },
      Qt::QueuedConnection);
}
