#include "platform/device/BSerialPort.h"

#include <cerrno>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "platform/device/SerialDeviceList.h"
#include "platform/support/Time.h"

namespace {

// How long Close lets queued output leave a real UART before discarding it.
constexpr bigtime_t kCloseDrainTime = 50000;

// Deadlines run on the real clock: a test clock installed for system_time() must not stop
// a write timeout from expiring.
bigtime_t Now() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return bigtime_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

bigtime_t DeadlineAfter(bigtime_t timeout) {
  if (timeout == B_INFINITE_TIMEOUT) return B_INFINITE_TIMEOUT;
  return Now() + timeout;
}

// Waits for `events` until the deadline: the revents, 0 on timeout, or -errno.
int WaitFor(int fd, short events, bigtime_t deadline) {
  for (;;) {
    pollfd entry{fd, events, 0};
    timespec wait{};
    timespec* waitPointer = nullptr;
    if (deadline != B_INFINITE_TIMEOUT) {
      bigtime_t left = deadline - Now();
      if (left <= 0) return 0;
      wait = {time_t(left / 1000000), long(left % 1000000) * 1000};
      waitPointer = &wait;
    }
    int result = ppoll(&entry, 1, waitPointer, nullptr);
    if (result > 0) return entry.revents;
    if (result == 0) return 0;
    if (errno != EINTR) return -errno;
  }
}

bool SpeedFor(data_rate rate, speed_t* speed) {
  static constexpr speed_t kSpeeds[] = {B0,    B50,   B75,   B110,   B134,   B150,  B200,
                                        B300,  B600,  B1200, B1800,  B2400,  B4800, B9600,
                                        B19200, B38400, B57600, B115200, B230400};
  if (rate < 0 || size_t(rate) >= sizeof(kSpeeds) / sizeof(kSpeeds[0])) return false;
  *speed = kSpeeds[rate];
  return true;
}

}  // namespace

BSerialPort::BSerialPort() { fPending.reserve(256); }

BSerialPort::~BSerialPort() { Close(); }

status_t BSerialPort::Open(const char* name) {
  Close();
  if (name == nullptr || name[0] == '\0') return -EINVAL;
  const std::string path = SerialDevicePath(name);
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -errno;
  if (!isatty(fd)) {
    close(fd);
    return -ENOTTY;
  }
  if (fd == 0) {
    // Success must be positive; stdin was closed and its number got reused.
    int moved = fcntl(fd, F_DUPFD_CLOEXEC, 1);
    int error = errno;
    close(fd);
    if (moved < 0) return -error;
    fd = moved;
  }
  // Two programs on one controller would interleave their messages.
  ioctl(fd, TIOCEXCL);
  fDescriptor = fd;
  status_t status = ApplySettings();
  if (status < 0) {
    Close();
    return status;
  }
  tcflush(fd, TCIFLUSH);
  return fd;
}

void BSerialPort::Close() {
  if (fDescriptor < 0) return;
  const bigtime_t deadline = Now() + kCloseDrainTime;
  ssize_t error = 0;
  SendPending(deadline, &error);
  int queued = 0;
  bool draining = ioctl(fDescriptor, TIOCOUTQ, &queued) == 0 && queued > 0;
  while (draining && Now() < deadline) {
    snooze(1000);
    draining = ioctl(fDescriptor, TIOCOUTQ, &queued) == 0 && queued > 0;
  }
  // A line held off by flow control would otherwise keep close() waiting for the drain.
  // Only then: on a pseudo-terminal the flush would also discard what the far end has not
  // read yet.
  if (draining || !fPending.empty()) tcflush(fDescriptor, TCOFLUSH);
  ioctl(fDescriptor, TIOCNXCL);
  close(fDescriptor);
  fDescriptor = -1;
  fPending.clear();
}

status_t BSerialPort::ApplySettings() {
  if (fDescriptor < 0) return B_OK;
  speed_t speed;
  if (!SpeedFor(fDataRate, &speed)) return B_BAD_VALUE;
  termios settings;
  if (tcgetattr(fDescriptor, &settings) != 0) return -errno;
  cfmakeraw(&settings);
  settings.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS);
  settings.c_cflag |= CLOCAL | CREAD | (fDataBits == B_DATA_BITS_7 ? CS7 : CS8);
  if (fStopBits == B_STOP_BITS_2) settings.c_cflag |= CSTOPB;
  if (fParityMode != B_NO_PARITY) settings.c_cflag |= PARENB;
  if (fParityMode == B_ODD_PARITY) settings.c_cflag |= PARODD;
  settings.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
  if (fParityMode != B_NO_PARITY) settings.c_iflag |= INPCK;
  if (fFlowControl & B_SOFTWARE_CONTROL) settings.c_iflag |= IXON | IXOFF;
  if (fFlowControl & B_HARDWARE_CONTROL) settings.c_cflag |= CRTSCTS;
  // Reads never wait in the driver; Read does its own waiting with poll.
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;
  cfsetispeed(&settings, speed);
  cfsetospeed(&settings, speed);
  if (tcsetattr(fDescriptor, TCSANOW, &settings) != 0) return -errno;

  // tcsetattr succeeds when any part was taken; check that the line really runs this way.
  termios applied;
  if (tcgetattr(fDescriptor, &applied) != 0) return -errno;
  const tcflag_t checked = CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS;
  if ((applied.c_cflag & checked) != (settings.c_cflag & checked) || cfgetospeed(&applied) != speed)
    return -EINVAL;
  return B_OK;
}

status_t BSerialPort::SetDataRate(data_rate rate) {
  speed_t speed;
  if (!SpeedFor(rate, &speed)) return B_BAD_VALUE;
  fDataRate = rate;
  return ApplySettings();
}

status_t BSerialPort::SetDataBits(data_bits bits) {
  if (bits != B_DATA_BITS_7 && bits != B_DATA_BITS_8) return B_BAD_VALUE;
  fDataBits = bits;
  return ApplySettings();
}

status_t BSerialPort::SetStopBits(stop_bits bits) {
  if (bits != B_STOP_BITS_1 && bits != B_STOP_BITS_2) return B_BAD_VALUE;
  fStopBits = bits;
  return ApplySettings();
}

status_t BSerialPort::SetParityMode(parity_mode mode) {
  if (mode != B_NO_PARITY && mode != B_ODD_PARITY && mode != B_EVEN_PARITY) return B_BAD_VALUE;
  fParityMode = mode;
  return ApplySettings();
}

status_t BSerialPort::SetFlowControl(uint32 method) {
  if ((method & ~(B_SOFTWARE_CONTROL | B_HARDWARE_CONTROL)) != 0) return B_BAD_VALUE;
  fFlowControl = method;
  return ApplySettings();
}

status_t BSerialPort::SetTimeout(bigtime_t microseconds) {
  if (microseconds < 0) return B_BAD_VALUE;
  fReadTimeout = microseconds;
  return B_OK;
}

status_t BSerialPort::SetWriteTimeout(bigtime_t microseconds) {
  if (microseconds < 0) return B_BAD_VALUE;
  fWriteTimeout = microseconds;
  return B_OK;
}

ssize_t BSerialPort::Read(void* buffer, size_t size) {
  if (fDescriptor < 0) return -EBADF;
  const bigtime_t deadline = DeadlineAfter(fReadTimeout);
  bool signalled = false;
  for (;;) {
    // In raw mode with no minimum count an empty line reads as 0 bytes, not as EAGAIN.
    ssize_t count = read(fDescriptor, buffer, size);
    if (count > 0) return count;
    if (count < 0 && errno == EINTR) continue;
    if (count < 0 && errno != EAGAIN) return -errno;
    if (signalled) return -EIO;  // readable yet empty: the line hung up
    if (!fBlocking || size == 0) return 0;
    int events = WaitFor(fDescriptor, POLLIN, deadline);
    if (events == 0) return 0;
    if (events < 0) return events;
    if ((events & POLLIN) == 0) return -EIO;
    signalled = true;
  }
}

ssize_t BSerialPort::SendUntil(const uint8* bytes, size_t size, bigtime_t deadline, ssize_t* error) {
  size_t sent = 0;
  while (sent < size) {
    ssize_t count = write(fDescriptor, bytes + sent, size - sent);
    if (count > 0) {
      sent += size_t(count);
      continue;
    }
    if (count < 0 && errno == EINTR) continue;
    if (count < 0 && errno != EAGAIN) {
      *error = -errno;
      break;
    }
    int events = WaitFor(fDescriptor, POLLOUT, deadline);
    if (events == 0) break;  // timed out
    if (events < 0) {
      *error = events;
      break;
    }
    if ((events & POLLOUT) == 0 && (events & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
      *error = -EIO;
      break;
    }
  }
  return ssize_t(sent);
}

bool BSerialPort::SendPending(bigtime_t deadline, ssize_t* error) {
  if (fPending.empty()) return true;
  ssize_t sent = SendUntil(fPending.data(), fPending.size(), deadline, error);
  fPending.erase(fPending.begin(), fPending.begin() + sent);
  if (*error != 0) fPending.clear();  // the device failed; its stream is lost anyway
  return fPending.empty() && *error == 0;
}

ssize_t BSerialPort::Write(const void* buffer, size_t size) {
  if (fDescriptor < 0) return -EBADF;
  const bigtime_t deadline = DeadlineAfter(fWriteTimeout);
  ssize_t error = 0;
  if (!SendPending(deadline, &error)) {
    fDroppedWrites++;
    return error != 0 ? error : ssize_t(B_TIMED_OUT);
  }
  const uint8* bytes = static_cast<const uint8*>(buffer);
  ssize_t sent = SendUntil(bytes, size, deadline, &error);
  if (error != 0) {
    fDroppedWrites++;
    return error;
  }
  if (sent == 0 && size > 0) {
    fDroppedWrites++;
    return B_TIMED_OUT;
  }
  // Started but not finished in time: the rest goes out ahead of the next write, so the
  // receiver never sees a message cut short.
  if (size_t(sent) < size) fPending.assign(bytes + sent, bytes + size);
  return ssize_t(size);
}

void BSerialPort::ClearInput() {
  if (fDescriptor >= 0) tcflush(fDescriptor, TCIFLUSH);
}

void BSerialPort::ClearOutput() {
  fPending.clear();
  if (fDescriptor >= 0) tcflush(fDescriptor, TCOFLUSH);
}

int32 BSerialPort::CountDevices() {
  fDevices = SerialDeviceList();
  fScanned = true;
  return int32(fDevices.size());
}

status_t BSerialPort::GetDeviceName(int32 index, char* name, size_t size) {
  if (!fScanned) CountDevices();
  if (index < 0 || size_t(index) >= fDevices.size()) return B_BAD_INDEX;
  if (name == nullptr || size == 0) return B_BAD_VALUE;
  const std::string& device = fDevices[size_t(index)];
  const size_t length = device.size() < size ? device.size() : size - 1;
  memcpy(name, device.data(), length);
  name[length] = '\0';
  return length == device.size() ? B_OK : B_BAD_VALUE;
}
