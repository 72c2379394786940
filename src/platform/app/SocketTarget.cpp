#include "platform/app/SocketTarget.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/app/MessageFolder.h"
#include "platform/app/MessageReceiver.h"
#include "platform/support/Time.h"

SocketTarget::SocketTarget(const char* signature, team_id team) {
  std::string path, error;
  if (socket_path_for(signature != nullptr ? signature : "", &path, &error) != B_OK) return;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  memcpy(address.sun_path, path.c_str(), path.size() + 1);
  int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return;
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
    close(fd);
    return;
  }
  if (team >= 0) {
    ucred peer{};
    socklen_t length = sizeof(peer);
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || peer.pid != team) {
      close(fd);
      return;
    }
  }
  fFd = fd;
}

SocketTarget::~SocketTarget() { Drop(); }

void SocketTarget::Drop() {
  if (fFd >= 0) close(fFd);
  fFd = -1;
}

bool SocketTarget::DiscardWaiting() {
  uint8 scrap;
  for (;;) {
    // A zero-length read is the end of the connection; a packet is an answer nobody asked
    // for (its excess is cut off by the short buffer, which is all we want).
    ssize_t got = recv(fFd, &scrap, sizeof scrap, MSG_DONTWAIT);
    if (got > 0) continue;
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    return false;
  }
}

bool SocketTarget::IsValid() {
  std::lock_guard<std::mutex> lock(fMutex);
  if (fFd < 0) return false;
  pollfd p{fFd, POLLIN, 0};
  if (poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR) || !DiscardWaiting())) {
    Drop();
    return false;
  }
  return true;
}

status_t SocketTarget::Send(const BMessage& message, bigtime_t timeout) {
  std::vector<uint8> bytes = message.Flatten();
  if (bytes.size() > MessageReceiver::kMaxPacket) return B_BAD_VALUE;
  std::lock_guard<std::mutex> lock(fMutex);
  return SendLocked(bytes, timeout);
}

status_t SocketTarget::SendForReply(const BMessage& message, BMessage* reply,
                                    bigtime_t sendTimeout, bigtime_t replyTimeout) {
  if (reply == nullptr) return B_BAD_VALUE;
  std::vector<uint8> bytes = message.Flatten();
  if (bytes.size() > MessageReceiver::kMaxPacket) return B_BAD_VALUE;
  std::lock_guard<std::mutex> lock(fMutex);
  if (fFd < 0) return B_BAD_PORT_ID;
  // An answer to an earlier message must not pass for this one's.
  if (!DiscardWaiting()) {
    Drop();
    return B_BAD_PORT_ID;
  }
  status_t status = SendLocked(bytes, sendTimeout);
  if (status != B_OK) return status;
  const bigtime_t deadline =
      replyTimeout == B_INFINITE_TIMEOUT ? B_INFINITE_TIMEOUT : system_time() + replyTimeout;
  std::vector<uint8> packet(MessageReceiver::kMaxPacket);
  for (;;) {
    int wait = -1;
    if (deadline != B_INFINITE_TIMEOUT) {
      bigtime_t left = deadline - system_time();
      if (left <= 0) return B_TIMED_OUT;
      wait = int(std::min<bigtime_t>((left + 999) / 1000, 1 << 30));
    }
    pollfd p{fFd, POLLIN, 0};
    int ready = poll(&p, 1, wait);
    if (ready < 0 && errno == EINTR) continue;
    if (ready == 0) return B_TIMED_OUT;
    ssize_t got = recv(fFd, packet.data(), packet.size(), MSG_DONTWAIT);
    if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
    if (got <= 0) {
      Drop();
      return B_BAD_PORT_ID;
    }
    return reply->Unflatten(packet.data(), size_t(got));
  }
}

status_t SocketTarget::SendLocked(const std::vector<uint8>& bytes, bigtime_t timeout) {
  if (fFd < 0) return B_BAD_PORT_ID;
  const bigtime_t deadline =
      timeout == B_INFINITE_TIMEOUT ? B_INFINITE_TIMEOUT : system_time() + timeout;
  for (;;) {
    ssize_t sent = send(fFd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent == ssize_t(bytes.size())) return B_OK;
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // The receiver is behind: wait for room, as long as the caller allows.
      int wait = -1;
      if (deadline != B_INFINITE_TIMEOUT) {
        bigtime_t left = deadline - system_time();
        if (left <= 0) return B_TIMED_OUT;
        wait = int(std::min<bigtime_t>((left + 999) / 1000, 1 << 30));
      }
      pollfd p{fFd, POLLOUT, 0};
      if (poll(&p, 1, wait) == 0) return B_TIMED_OUT;
      if (p.revents & (POLLHUP | POLLERR)) {
        Drop();
        return B_BAD_PORT_ID;
      }
      continue;
    }
    // EPIPE, ECONNRESET: the receiver went away.
    Drop();
    return B_BAD_PORT_ID;
  }
}
