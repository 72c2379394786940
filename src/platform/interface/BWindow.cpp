#include "platform/interface/BWindow.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "platform/interface/BView.h"

BWindow::BWindow(BRect frame, const char* title) : fFrame(frame), fTitle(title ? title : "") {}

BWindow::~BWindow() {
  for (BView* view : fChildren) {
    view->fWindow = nullptr;
    delete view;
  }
}

bool BWindow::Lock() {
  std::unique_lock<std::mutex> hold(fMutex);
  const std::thread::id self = std::this_thread::get_id();
  if (fOwner == self) {
    ++fOwnerCount;
    return true;
  }
  fReleased.wait(hold, [&] { return fOwnerCount == 0 || IsQuitting(); });
  if (IsQuitting()) return false;
  fOwner = self;
  fOwnerCount = 1;
  return true;
}

status_t BWindow::LockWithTimeout(bigtime_t timeout) {
  std::unique_lock<std::mutex> hold(fMutex);
  const std::thread::id self = std::this_thread::get_id();
  if (fOwner == self) {
    ++fOwnerCount;
    return B_OK;
  }
  const bool free = fReleased.wait_for(hold, std::chrono::microseconds(std::max<bigtime_t>(timeout, 0)),
                                       [&] { return fOwnerCount == 0 || IsQuitting(); });
  if (IsQuitting()) return B_BAD_VALUE;
  if (!free) return B_TIMED_OUT;
  fOwner = self;
  fOwnerCount = 1;
  return B_OK;
}

void BWindow::Unlock() {
  {
    std::lock_guard<std::mutex> hold(fMutex);
    if (fOwner != std::this_thread::get_id() || fOwnerCount == 0) return;
    if (--fOwnerCount > 0) return;
    fOwner = std::thread::id();
  }
  fReleased.notify_all();
  if (fDirty.exchange(false, std::memory_order_relaxed)) NotifyUpdate();
}

bool BWindow::IsLocked() const {
  std::lock_guard<std::mutex> hold(fMutex);
  return fOwnerCount > 0 && fOwner == std::this_thread::get_id();
}

int32 BWindow::CountLocks() const {
  std::lock_guard<std::mutex> hold(fMutex);
  return fOwner == std::this_thread::get_id() ? fOwnerCount : 0;
}

void BWindow::Quit() {
  bool wasDirty = false;
  {
    std::lock_guard<std::mutex> hold(fMutex);
    if (fQuitting.exchange(true, std::memory_order_acq_rel)) return;
    if (fOwner == std::this_thread::get_id() && fOwnerCount > 0) {
      fOwnerCount = 0;
      fOwner = std::thread::id();
      wasDirty = fDirty.exchange(false, std::memory_order_relaxed);
    }
  }
  fHideLevel.fetch_add(1, std::memory_order_acq_rel);
  fReleased.notify_all();
  if (wasDirty) NotifyUpdate();
  std::function<void()> quitHook;
  {
    std::lock_guard<std::mutex> hold(fHookMutex);
    quitHook.swap(fQuitHook);
  }
  if (quitHook) quitHook();
}

void BWindow::Show() {
  if (IsQuitting()) return;  // a closed window stays hidden
  fHideLevel.fetch_sub(1, std::memory_order_acq_rel);
}

void BWindow::Hide() {
  fHideLevel.fetch_add(1, std::memory_order_acq_rel);
}

void BWindow::AddChild(BView* view) {
  if (view == nullptr || view->fWindow == this) return;
  if (view->fWindow) view->fWindow->RemoveChild(view);
  view->fWindow = this;
  fChildren.push_back(view);
}

bool BWindow::RemoveChild(BView* view) {
  auto it = std::find(fChildren.begin(), fChildren.end(), view);
  if (it == fChildren.end()) return false;
  fChildren.erase(it);
  view->fWindow = nullptr;
  return true;
}

BView* BWindow::ChildAt(int32 index) const {
  if (index < 0 || index >= CountChildren()) return nullptr;
  return fChildren[size_t(index)];
}

BView* BWindow::FindView(const char* name) const {
  if (name == nullptr) return nullptr;
  for (BView* view : fChildren)
    if (std::strcmp(view->Name(), name) == 0) return view;
  return nullptr;
}

void BWindow::SetUpdateHook(std::function<void()> hook) {
  std::lock_guard<std::mutex> hold(fHookMutex);
  fUpdateHook = std::move(hook);
}

void BWindow::SetQuitHook(std::function<void()> hook) {
  std::lock_guard<std::mutex> hold(fHookMutex);
  fQuitHook = std::move(hook);
}

void BWindow::NotifyUpdate() {
  std::lock_guard<std::mutex> hold(fHookMutex);
  if (fUpdateHook) fUpdateHook();
}
