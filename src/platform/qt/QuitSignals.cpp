#include "platform/qt/QuitSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

#include "platform/app/AppDefs.h"
#include "platform/app/BApplication.h"

namespace {

int gPipe[2] = {-1, -1};

void OnSignal(int) {
  const int saved = errno;
  const char byte = 1;
  ssize_t written = write(gPipe[1], &byte, 1);
  (void)written;
  errno = saved;
}

}  // namespace

QuitSignals::QuitSignals() {
  if (gPipe[0] >= 0 || pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0)
    return;
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  // The next signal finds the default again: a quit that hangs can still be interrupted.
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  fNotifier = new QSocketNotifier(gPipe[0], QSocketNotifier::Read, this);
  connect(fNotifier, &QSocketNotifier::activated, this, [this] { Take(); });
}

QuitSignals::~QuitSignals() {
  if (fNotifier == nullptr)
    return;
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
  delete fNotifier;
  fNotifier = nullptr;
  close(gPipe[0]);
  close(gPipe[1]);
  gPipe[0] = gPipe[1] = -1;
}

void QuitSignals::Take() {
  char bytes[16];
  while (read(gPipe[0], bytes, sizeof bytes) > 0) {
  }
  if (be_app != nullptr)
    be_app->PostMessage(B_QUIT_REQUESTED);
}
