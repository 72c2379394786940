#include "platform/app/MessageReceiver.h"

#include <pthread.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/app/MessageFolder.h"
#include "platform/app/MessageTarget.h"
#include "platform/support/Log.h"

namespace {

// One sender's connection, as the return address of the messages it sent. The socket stays
// open while the receiver reads from it or a message from it still waits to be answered.
class SenderConnection : public MessageTarget {
 public:
  explicit SenderConnection(int fd) : fFd(fd) {}
  ~SenderConnection() override { close(fFd); }

  bool IsValid() override { return !fHungUp.load(); }
  // Never waits: a reply that does not fit into the sender's socket now is not sent.
  status_t Send(const BMessage& message, bigtime_t) override {
    if (fHungUp.load()) return B_BAD_PORT_ID;
    std::vector<uint8> bytes = message.Flatten();
    if (bytes.size() > MessageReceiver::kMaxPacket) return B_BAD_VALUE;
    std::lock_guard<std::mutex> lock(fMutex);
    for (;;) {
      ssize_t sent = send(fFd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      if (sent == ssize_t(bytes.size())) return B_OK;
      if (sent < 0 && errno == EINTR) continue;
      if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return B_WOULD_BLOCK;
      return B_BAD_PORT_ID;
    }
  }

  int Fd() const { return fFd; }
  void HangUp() { fHungUp.store(true); }

 private:
  const int fFd;
  std::mutex fMutex;
  std::atomic<bool> fHungUp{false};
};

bool MakeAddress(const std::string& path, sockaddr_un* address) {
  memset(address, 0, sizeof(*address));
  address->sun_family = AF_UNIX;
  if (path.size() >= sizeof(address->sun_path)) return false;
  memcpy(address->sun_path, path.c_str(), path.size() + 1);
  return true;
}

// True when a program still answers at the socket.
bool Answers(const sockaddr_un& address) {
  int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  bool answers = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
  close(fd);
  return answers;
}

}  // namespace

MessageReceiver::MessageReceiver(const char* signature, Handler handler)
    : fSignature(signature != nullptr ? signature : ""), fHandler(std::move(handler)) {
  if (is_osc_signature(fSignature.c_str())) {
    fStatus = B_BAD_VALUE;
    fError = "an OSC address cannot be registered as a signature";
    return;
  }
  fStatus = socket_path_for(fSignature, &fPath, &fError);
  if (fStatus != B_OK) return;
  sockaddr_un address;
  MakeAddress(fPath, &address);

  fListenFd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fListenFd < 0) {
    fStatus = B_ERROR;
    fError = std::string("cannot make a socket: ") + strerror(errno);
    return;
  }
  for (int attempt = 0;; attempt++) {
    if (bind(fListenFd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) break;
    if (errno == EADDRINUSE && attempt == 0 && !Answers(address)) {
      // Left behind by a program that did not get to clean up.
      unlink(fPath.c_str());
      continue;
    }
    fStatus = errno == EADDRINUSE ? B_NAME_IN_USE : B_ERROR;
    fError = errno == EADDRINUSE ? "another program is already registered as " + fSignature
                                 : "cannot register " + fSignature + ": " + strerror(errno);
    close(fListenFd);
    fListenFd = -1;
    fPath.clear();
    return;
  }
  if (listen(fListenFd, kMaxSenders) != 0 ||
      (fWakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) < 0) {
    fStatus = B_ERROR;
    fError = std::string("cannot listen for messages: ") + strerror(errno);
    close(fListenFd);
    fListenFd = -1;
    unlink(fPath.c_str());
    fPath.clear();
    return;
  }
  fStatus = B_OK;
  fThread = std::thread(&MessageReceiver::ThreadMain, this);
}

MessageReceiver::~MessageReceiver() {
  fStopping.store(true);
  if (fWakeFd >= 0) {
    uint64_t one = 1;
    ssize_t written = write(fWakeFd, &one, sizeof(one));
    (void)written;
  }
  if (fThread.joinable()) fThread.join();
  if (fListenFd >= 0) {
    close(fListenFd);
    unlink(fPath.c_str());
  }
  if (fWakeFd >= 0) close(fWakeFd);
}

void MessageReceiver::ThreadMain() {
  pthread_setname_np(pthread_self(), "messages in");
  std::vector<pollfd> fds;
  fds.push_back({fWakeFd, POLLIN, 0});
  fds.push_back({fListenFd, POLLIN, 0});
  // senders[i - 2] belongs to fds[i].
  std::vector<std::shared_ptr<SenderConnection>> senders;
  std::vector<uint8> packet(kMaxPacket);

  while (!fStopping.load()) {
    if (poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      Log(LogLevel::kError, "zanvel: message receiver for %s stops: %s", fSignature.c_str(),
              strerror(errno));
      break;
    }
    if (fds[0].revents != 0) break;
    if (fds[1].revents & POLLIN) {
      int sender = accept4(fListenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
      if (sender >= 0) {
        if (fds.size() - 2 >= size_t(kMaxSenders)) {
          Log(LogLevel::kWarn, "zanvel: too many programs send to %s; turned one away",
                  fSignature.c_str());
          close(sender);
        } else {
          fds.push_back({sender, POLLIN, 0});
          senders.push_back(std::make_shared<SenderConnection>(sender));
        }
      }
    }
    for (size_t i = 2; i < fds.size() && !fStopping.load(); i++) {
      if (fds[i].revents == 0) continue;
      bool hangUp = false;
      // Read every packet that is waiting, so one busy sender keeps its order.
      for (;;) {
        iovec io{packet.data(), packet.size()};
        msghdr header{};
        header.msg_iov = &io;
        header.msg_iovlen = 1;
        ssize_t got = recvmsg(fds[i].fd, &header, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        if (got <= 0) {
          hangUp = true;
          break;
        }
        BMessage message;
        std::string why;
        if (header.msg_flags & MSG_TRUNC) {
          why = "longer than " + std::to_string(kMaxPacket) + " bytes";
        } else if (message.Unflatten(packet.data(), size_t(got), &why) == B_OK) {
          message.SetReturnAddress(senders[i - 2]);
          fHandler(std::move(message));
          if (fStopping.load()) break;
          continue;
        }
        fRefused.fetch_add(1, std::memory_order_relaxed);
        Log(LogLevel::kWarn, "zanvel: refused a malformed message for %s: %s", fSignature.c_str(),
                why.c_str());
      }
      if (hangUp) {
        senders[i - 2]->HangUp();
        senders.erase(senders.begin() + long(i - 2));
        fds.erase(fds.begin() + long(i));
        i--;
      }
    }
  }
  for (const auto& sender : senders) sender->HangUp();
}
