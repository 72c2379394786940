#pragma once
// One QApplication for the whole test program (offscreen platform under ctest), and waiting
// for the GUI thread's queued work without fixed sleeps.

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <string>
#include <unistd.h>

inline QApplication* TestApplication() {
  static int argc = 1;
  static char name[] = "zanvel-test";
  static char* argv[] = {name, nullptr};
  if (QApplication::instance() == nullptr) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static QApplication* app = new QApplication(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    return app;
  }
  return qobject_cast<QApplication*>(QApplication::instance());
}

// Processes GUI events until the condition holds; false after timeoutMs.
inline bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 5000) {
  QElapsedTimer timer;
  timer.start();
  while (!condition()) {
    if (timer.elapsed() > timeoutMs)
      return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QTest::qWait(1);
  }
  return true;
}

// A signature no other test process uses.
inline std::string TestSignature(const char* what) {
  static std::atomic<int> counter{0};
  return std::string("application/x-vnd.zanvel-test-") + what + "-" + std::to_string(getpid()) + "-" +
         std::to_string(counter++);
}
