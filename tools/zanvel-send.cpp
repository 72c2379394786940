// zanvel-send: sends one message with a code and typed fields to a program by signature.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/app/BMessenger.h"
#include "platform/app/BRoster.h"
#include "platform/app/MessageFolder.h"
#include "platform/app/MessageText.h"
#include "platform/support/Time.h"
#include "Version.h"

namespace {

void Usage(FILE* out) {
  fprintf(out,
          "usage: zanvel-send [--launch] [--timeout MS] [--wait-reply] SIGNATURE CODE [name:type=value ...]\n"
          "Sends one message to the program registered as SIGNATURE, or to an OSC server when\n"
          "SIGNATURE is osc.udp://host:port/prefix.\n"
          "  CODE     one to four characters (ptta, M23d) or 0x and hex digits (0x4d323364)\n"
          "  fields   int32, float, string or bool, in order, e.g.\n"
          "           zanvel-send application/x-vnd.morl-Zanvel ptta source:bool=true\n"
          "           zanvel-send SIG M23d objectid:int32=0 x:float=0.5 s:string=hi b:bool=true\n"
          "  --launch       start the program that declares SIGNATURE when none runs\n"
          "  --timeout MS   give up when the receiver does not take the message in time\n"
          "                 (default: wait as long as it takes)\n"
          "  --version      print the version and stop\n"
          "  --wait-reply   wait for the receiver's answer (up to MS, default 5000) and print\n"
          "                 it as one line, as zanvel-listen does\n"
          "Exit status: 0 delivered, 1 not delivered, 2 bad arguments.\n");
}

int Fail(const std::string& text, int status) {
  fprintf(stderr, "zanvel-send: %s\n", text.c_str());
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  bool launch = false;
  bool waitReply = false;
  bigtime_t timeout = B_INFINITE_TIMEOUT;
  int i = 1;
  for (; i < argc && strncmp(argv[i], "--", 2) == 0; i++) {
    if (strcmp(argv[i], "--help") == 0) {
      Usage(stdout);
      return 0;
    } else if (strcmp(argv[i], "--version") == 0) {
      printf("zanvel-send %s\n", kZanvelVersion);
      return 0;
    } else if (strcmp(argv[i], "--launch") == 0) {
      launch = true;
    } else if (strcmp(argv[i], "--wait-reply") == 0) {
      waitReply = true;
    } else if (strcmp(argv[i], "--timeout") == 0 && i + 1 < argc) {
      char* end = nullptr;
      long ms = strtol(argv[++i], &end, 10);
      if (*end != '\0' || ms < 0) return Fail(std::string("bad --timeout ") + argv[i], 2);
      timeout = bigtime_t(ms) * 1000;
    } else {
      Usage(stderr);
      return Fail(std::string("unknown option ") + argv[i], 2);
    }
  }
  if (argc - i < 2) {
    Usage(stderr);
    return 2;
  }
  const char* signature = argv[i++];
  std::string error;
  uint32 code;
  if (!text_to_code(argv[i++], &code, &error)) return Fail(error, 2);
  BMessage message(code);
  for (; i < argc; i++) {
    if (!add_field_from_text(argv[i], &message, &error)) return Fail(error, 2);
  }

  BMessenger messenger(signature);
  if (!messenger.IsValid() && launch) {
    status_t launched = be_roster->Launch(signature);
    if (launched == B_NAME_NOT_FOUND)
      return Fail(std::string("no application declares ") + signature + " in a .desktop file", 1);
    if (launched != B_OK && launched != B_ALREADY_RUNNING)
      return Fail(std::string("could not start the program for ") + signature, 1);
    for (int tries = 0; tries < 100 && !messenger.IsValid(); tries++) {
      snooze(50000);
      messenger = BMessenger(signature);
    }
  }
  if (!messenger.IsValid()) {
    return Fail(std::string("no program is registered as ") + signature +
                    (launch ? " (it was started but did not register within 5 s)" : ""),
                1);
  }
  if (waitReply) {
    if (is_osc_signature(signature))
      return Fail("answers come back only from programs registered by signature", 2);
    BMessage reply;
    const bigtime_t replyTimeout = timeout == B_INFINITE_TIMEOUT ? 5000000 : timeout;
    status_t status = messenger.SendMessage(&message, &reply, timeout, replyTimeout);
    if (status == B_TIMED_OUT) return Fail("no answer in time", 1);
    if (status == B_BAD_DATA) return Fail("the answer was malformed", 1);
    if (status != B_OK) return Fail(std::string("sending to ") + signature + " failed", 1);
    printf("%s\n", message_to_line(reply).c_str());
    return 0;
  }
  status_t sent = messenger.SendMessage(&message, nullptr, timeout);
  if (sent == B_TIMED_OUT) return Fail("the receiver did not take the message in time", 1);
  if (sent == B_BAD_VALUE) return Fail("the message is too long to send", 1);
  if (sent != B_OK) return Fail(std::string("sending to ") + signature + " failed", 1);
  return 0;
}
