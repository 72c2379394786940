#pragma once
// Connects a window's canvases to the widgets that show them.
//
// Drawing threads draw into BViews under their window's lock; the window's update hook
// (run on the drawing thread) only schedules one queued refresh. The refresh runs on the GUI
// thread, takes the window lock briefly to copy each canvas, and repaints. It only tries the
// lock: a drawing thread may hold it while it waits on something the GUI thread holds (an
// alert open inside a command), so a busy lock means "try again shortly", never a wait.

#include <QObject>
#include <QTimer>
#include <atomic>
#include <functional>
#include <vector>

class BWindow;
class CanvasWidget;

class CanvasLink : public QObject {
 public:
  // The window must outlive the link; the link removes its hooks when it goes.
  explicit CanvasLink(BWindow* window, QObject* parent = nullptr);
  ~CanvasLink() override;

  BWindow* Window() const { return fWindow; }
  void Attach(CanvasWidget* widget);
  void Detach(CanvasWidget* widget);
  // Runs on the GUI thread once the window has been quit (by any thread).
  void SetQuitCallback(std::function<void()> callback) { fQuitCallback = std::move(callback); }
  // Copies every attached canvas now (GUI thread); false when the lock was busy.
  bool Refresh();
  // Refreshes skipped because the lock was busy (for diagnostics and tests).
  int BusyRetries() const { return fBusyRetries; }

 private:
  void ScheduleRefresh();

  BWindow* fWindow;
  std::vector<CanvasWidget*> fWidgets;
  std::atomic<bool> fRefreshPosted{false};
  QTimer fRetry;
  int fBusyRetries = 0;
  std::function<void()> fQuitCallback;
};
