// zanvel-listen: registers a signature and prints each message it receives as one line.

#include <signal.h>

#include <cstdio>
#include <cstring>

#include "platform/app/MessageFolder.h"
#include "platform/app/MessageReceiver.h"
#include "platform/app/MessageText.h"
#include "Version.h"

namespace {

void Usage(FILE* out) {
  fprintf(out,
          "usage: zanvel-listen SIGNATURE\n"
          "Registers SIGNATURE (for example application/x-vnd.kdx-3dReceiver) and prints every\n"
          "message sent to it as one line: the code, then each field as name=value in order.\n"
          "Stops on Ctrl-C or SIGTERM. --version prints the version.\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (strcmp(argv[1], "-h") == 0 || strcmp(argv[1], "--help") == 0)) {
    Usage(stdout);
    return 0;
  }
  if (argc == 2 && strcmp(argv[1], "--version") == 0) {
    printf("zanvel-listen %s\n", kZanvelVersion);
    return 0;
  }
  if (argc != 2 || argv[1][0] == '\0') {
    Usage(stderr);
    return 2;
  }
  const char* signature = argv[1];
  if (is_osc_signature(signature)) {
    fprintf(stderr,
            "zanvel-listen: %s is an OSC address; messages are sent there, not received. Listen "
            "with an OSC tool (oscdump PORT) instead.\n",
            signature);
    return 2;
  }

  // Block the stop signals before the receiver's thread exists, so only sigwait sees them.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);

  MessageReceiver receiver(signature, [](BMessage&& message) {
    std::string line = message_to_line(message);
    fprintf(stdout, "%s\n", line.c_str());
    fflush(stdout);
  });
  if (receiver.InitCheck() != B_OK) {
    fprintf(stderr, "zanvel-listen: cannot register %s: %s\n", signature,
            receiver.Error().c_str());
    return 1;
  }
  fprintf(stderr, "zanvel-listen: listening as %s (Ctrl-C stops)\n", signature);

  int received = 0;
  sigwait(&stop, &received);
  return 0;
}
