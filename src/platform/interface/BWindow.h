#pragma once
// A window: a title, a frame, the canvases (BViews) it holds and the lock that every thread
// drawing into those canvases takes.
//
// Threads: any thread may lock the window; drawing into its views, reading their pixels and
// changing their state happen only while the window is locked. Show/Hide/IsHidden and the
// hooks are safe from any thread without the lock.
//
// Unlike a looper, the object stays alive after Quit(): threads that still hold a pointer
// see Lock() fail instead of touching freed memory. The owner deletes it.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/interface/BRect.h"
#include "platform/support/Status.h"

class BView;

class BWindow {
 public:
  BWindow(BRect frame, const char* title);
  // Deletes the views still attached.
  virtual ~BWindow();
  BWindow(const BWindow&) = delete;
  BWindow& operator=(const BWindow&) = delete;

  // Takes the window lock; the holder may take it again and unlocks as often. Blocks while
  // another thread holds it. Returns false, without the lock, once the window is quitting.
  bool Lock();
  // Like Lock but waits at most timeout µs: B_OK, B_TIMED_OUT, or B_BAD_VALUE when quitting.
  status_t LockWithTimeout(bigtime_t timeout);
  // Releases one level of the caller's lock; the last one notifies the update hook when a
  // view was drawn into. An Unlock by a thread that does not hold the lock is ignored.
  void Unlock();
  // True when the calling thread holds the lock.
  bool IsLocked() const;
  // Levels of the lock the calling thread holds (0 when it does not hold it).
  int32 CountLocks() const;

  // Closes the window: it hides, Lock() fails from now on, and the caller's own lock
  // levels are released. Threads holding the lock keep it until they unlock.
  void Quit();
  bool IsQuitting() const { return fQuitting.load(std::memory_order_acquire); }

  // Windows start hidden. Hide and Show nest: n Hides need n Shows.
  void Show();
  void Hide();
  bool IsHidden() const { return fHideLevel.load(std::memory_order_acquire) > 0; }

  const char* Title() const { return fTitle.c_str(); }
  BRect Frame() const { return fFrame; }

  // Attaching and finding views; the window owns attached views. Call with the lock held
  // once other threads can see the window.
  void AddChild(BView* view);
  bool RemoveChild(BView* view);
  int32 CountChildren() const { return int32(fChildren.size()); }
  BView* ChildAt(int32 index) const;
  BView* FindView(const char* name) const;

  // Called, on the thread that drew, after a Flush() and after the outermost Unlock() that
  // follows drawing. Installing a hook waits until a running call of the previous one has
  // returned, so a display can remove its hook and then safely go away. The hook must not
  // install hooks itself; it should only schedule a repaint.
  void SetUpdateHook(std::function<void()> hook);
  // Called once, on the quitting thread, when Quit() runs.
  void SetQuitHook(std::function<void()> hook);

 private:
  friend class BView;
  // A view of this window changed its pixels.
  void MarkDirty() { fDirty.store(true, std::memory_order_relaxed); }
  void NotifyUpdate();

  BRect fFrame;
  std::string fTitle;
  std::vector<BView*> fChildren;

  mutable std::mutex fMutex;
  std::condition_variable fReleased;
  std::thread::id fOwner;
  int32 fOwnerCount = 0;
  std::atomic<bool> fQuitting{false};
  std::atomic<int32> fHideLevel{1};
  std::atomic<bool> fDirty{false};

  std::mutex fHookMutex;
  std::function<void()> fUpdateHook;
  std::function<void()> fQuitHook;
};
