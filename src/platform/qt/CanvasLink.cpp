#include "platform/qt/CanvasLink.h"

#include <algorithm>
#include <vector>

#include "platform/interface/BWindow.h"
#include "platform/qt/CanvasWidget.h"

namespace {
constexpr bigtime_t kLockTry = 2000;  // µs the GUI thread waits for a drawing thread
constexpr int kRetryMs = 10;
}  // namespace

CanvasLink::CanvasLink(BWindow* window, QObject* parent) : QObject(parent), fWindow(window) {
  fRetry.setSingleShot(true);
  fRetry.setInterval(kRetryMs);
  connect(&fRetry, &QTimer::timeout, this, [this] { Refresh(); });
  fWindow->SetUpdateHook([this] { ScheduleRefresh(); });
  fWindow->SetQuitHook([this] {
    QMetaObject::invokeMethod(
        this,
        [this] {
          if (fQuitCallback)
            fQuitCallback();
        },
        Qt::QueuedConnection);
  });
}

CanvasLink::~CanvasLink() {
  // SetUpdateHook waits for a running hook call, so no drawing thread is inside ours after.
  fWindow->SetUpdateHook(nullptr);
  fWindow->SetQuitHook(nullptr);
  for (CanvasWidget* widget : fWidgets)
    widget->fLink = nullptr;
}

void CanvasLink::Attach(CanvasWidget* widget) {
  fWidgets.push_back(widget);
}

void CanvasLink::Detach(CanvasWidget* widget) {
  fWidgets.erase(std::remove(fWidgets.begin(), fWidgets.end(), widget), fWidgets.end());
}

void CanvasLink::ScheduleRefresh() {
  // Drawing thread: at most one refresh waits in the GUI queue, however fast frames come.
  if (fRefreshPosted.exchange(true))
    return;
  QMetaObject::invokeMethod(this, [this] { Refresh(); }, Qt::QueuedConnection);
}

bool CanvasLink::Refresh() {
  fRefreshPosted.store(false);
  if (fWindow->IsQuitting())
    return false;
  status_t status = fWindow->LockWithTimeout(kLockTry);
  if (status != B_OK) {
    if (status == B_TIMED_OUT) {
      fBusyRetries++;
      fRetry.start();
    }
    return false;
  }
  // Only canvases that changed are copied and repainted.
  std::vector<CanvasWidget*> changed;
  for (CanvasWidget* widget : fWidgets)
    if (widget->CopyCanvas())
      changed.push_back(widget);
  fWindow->Unlock();
  for (CanvasWidget* widget : changed)
    widget->update();
  return true;
}
