#include "platform/app/OscReceiver.h"

#include <arpa/inet.h>
#include <lo/lo.h>
#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/app/OscTarget.h"
#include "platform/support/Log.h"

namespace {

// Largest datagram read; UDP carries no more.
constexpr size_t kMaxDatagram = 65536;

}  // namespace

OscReceiver::OscReceiver(const char* bindAddress, int port, const char* prefix, Handler handler)
    : fPrefix(prefix != nullptr ? prefix : ""), fHandler(std::move(handler)), fPort(port) {
  while (!fPrefix.empty() && fPrefix.back() == '/') fPrefix.pop_back();
  const std::string host = bindAddress != nullptr ? bindAddress : "";
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_DGRAM;
  hints.ai_flags = AI_NUMERICSERV | AI_PASSIVE;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  int lookup = getaddrinfo(host.empty() ? nullptr : host.c_str(), service.c_str(), &hints, &found);
  if (lookup != 0 || found == nullptr) {
    fStatus = B_BAD_VALUE;
    fError = "cannot listen on " + host + ": " + gai_strerror(lookup);
    return;
  }
  fFd = socket(found->ai_family, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fFd < 0 || bind(fFd, found->ai_addr, found->ai_addrlen) != 0) {
    fStatus = B_ERROR;
    fError = "cannot listen on " + host + " port " + service + ": " + strerror(errno);
    if (fFd >= 0) close(fFd);
    fFd = -1;
    freeaddrinfo(found);
    return;
  }
  freeaddrinfo(found);
  fWakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fWakeFd < 0) {
    fStatus = B_ERROR;
    fError = std::string("cannot listen for OSC: ") + strerror(errno);
    close(fFd);
    fFd = -1;
    return;
  }
  fStatus = B_OK;
  fThread = std::thread(&OscReceiver::ThreadMain, this);
}

OscReceiver::~OscReceiver() {
  fStopping.store(true);
  if (fWakeFd >= 0) {
    uint64_t one = 1;
    ssize_t written = write(fWakeFd, &one, sizeof one);
    (void)written;
  }
  if (fThread.joinable()) fThread.join();
  if (fFd >= 0) close(fFd);
  if (fWakeFd >= 0) close(fWakeFd);
}

void OscReceiver::Refuse(const std::string& path, const std::string& why) {
  fRefused.fetch_add(1, std::memory_order_relaxed);
  Log(LogLevel::kWarn, "zanvel: refused an OSC message%s%s: %s", path.empty() ? "" : " at ",
               path.c_str(), why.c_str());
}

void OscReceiver::ThreadMain() {
  std::vector<uint8> datagram(kMaxDatagram);
  pollfd fds[2] = {{fWakeFd, POLLIN, 0}, {fFd, POLLIN, 0}};
  while (!fStopping.load()) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      Log(LogLevel::kError, "zanvel: OSC receiver stops: %s", strerror(errno));
      break;
    }
    if (fds[0].revents != 0) break;
    for (;;) {
      sockaddr_storage from{};
      socklen_t fromLength = sizeof from;
      ssize_t got = recvfrom(fFd, datagram.data(), datagram.size(), 0,
                             reinterpret_cast<sockaddr*>(&from), &fromLength);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) break;  // nothing more waiting (or a passing ICMP error)
      char host[NI_MAXHOST] = {};
      char port[NI_MAXSERV] = {};
      if (getnameinfo(reinterpret_cast<sockaddr*>(&from), fromLength, host, sizeof host, port,
                      sizeof port, NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
        Refuse("", "the sender's address is unreadable");
        continue;
      }
      Handle(datagram.data(), size_t(got), host, port);
      if (fStopping.load()) break;
    }
  }
}

void OscReceiver::Handle(void* data, size_t size, const std::string& host, const std::string& port) {
  if (size >= 8 && std::memcmp(data, "#bundle", 8) == 0) {
    Refuse("", "bundles are not taken; send each command as a message of its own");
    return;
  }
  int result = 0;
  lo_message message = lo_message_deserialise(data, size, &result);
  if (message == nullptr) {
    Refuse("", "not an OSC message (" + std::to_string(result) + ")");
    return;
  }
  // The path lies inside the datagram (not a copy), terminated: the message was read whole.
  const char* rawPath = lo_get_path(data, ssize_t(size));
  const std::string path = rawPath != nullptr ? rawPath : "";
  const std::string head = fPrefix + "/";
  std::string code = path.compare(0, head.size(), head) == 0 ? path.substr(head.size()) : "";
  if (code.empty() || code.size() > 4 || code.find('/') != std::string::npos) {
    Refuse(path, "commands go to " + head + "<code>, the code one to four characters");
    lo_message_free(message);
    return;
  }
  uint32 what = 0;
  for (size_t i = 0; i < 4; i++)
    what = (what << 8) | (i < code.size() ? uint8(code[i]) : 0);

  std::vector<Argument> arguments;
  const char* types = lo_message_get_types(message);
  lo_arg** argv = lo_message_get_argv(message);
  const int count = lo_message_get_argc(message);
  for (int i = 0; i < count; i++) {
    Argument argument;
    switch (types[i]) {
      case LO_INT32:
        argument.type = B_INT32_TYPE;
        argument.i = argv[i]->i;
        break;
      case LO_FLOAT:
        argument.type = B_FLOAT_TYPE;
        argument.f = argv[i]->f;
        break;
      case LO_STRING:
      case LO_SYMBOL:
        argument.type = B_STRING_TYPE;
        argument.s = &argv[i]->s;
        break;
      case LO_TRUE:
      case LO_FALSE:
        argument.type = B_BOOL_TYPE;
        argument.b = types[i] == LO_TRUE;
        break;
      default:
        Refuse(path, std::string("argument type '") + types[i] + "' is not taken (i, f, s, T or F)");
        lo_message_free(message);
        return;
    }
    arguments.push_back(std::move(argument));
  }
  lo_message_free(message);
  fHandler(what, std::move(arguments), std::make_shared<OscTarget>(host.c_str(), port.c_str(), fPrefix.c_str()));
}
