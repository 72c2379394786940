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

bool SocketTarget::IsValid() {
  std::lock_guard<std::mutex> lock(fMutex);
  if (fFd < 0) return false;
  // Receivers never write back, so anything readable is the end of the connection.
  pollfd p{fFd, POLLIN, 0};
  if (poll(&p, 1, 0) > 0 && (p.revents & (POLLIN | POLLHUP | POLLERR))) {
    Drop();
    return false;
  }
  return true;
}

status_t SocketTarget::Send(const BMessage& message, bigtime_t timeout) {
  std::vector<uint8> bytes = message.Flatten();
  if (bytes.size() > MessageReceiver::kMaxPacket) return B_BAD_VALUE;
  std::lock_guard<std::mutex> lock(fMutex);
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
