#include "session/SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

std::string Folder(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string Reason(const char* what, int error) { return std::string(what) + ": " + std::strerror(error); }

bool WriteAll(int fd, const unsigned char* bytes, size_t size, int* error) {
  while (size > 0) {
    const ssize_t n = ::write(fd, bytes, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      *error = errno;
      return false;
    }
    bytes += n;
    size -= size_t(n);
  }
  return true;
}

}  // namespace

bool WriteFileSafely(const std::string& path, const std::vector<unsigned char>& bytes, std::string* why) {
  // An existing file the user may not write stays as it is, as an editor would leave it.
  struct stat old = {};
  const bool exists = ::stat(path.c_str(), &old) == 0;
  if (exists && !S_ISREG(old.st_mode)) {
    *why = "not a regular file";
    return false;
  }
  if (exists && ::access(path.c_str(), W_OK) != 0) {
    *why = Reason("cannot replace it", errno);
    return false;
  }

  const std::string folder = Folder(path);
  std::string temporary = path + ".XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) {
    *why = Reason(("cannot create a file in " + folder).c_str(), errno);
    return false;
  }
  int error = 0;
  const char* step = nullptr;
  // The new file gets the old one's permissions, or the usual ones for a new file.
  mode_t mode = 0;
  if (exists) {
    mode = old.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  if (::fchmod(fd, mode) != 0) {
    error = errno;
    step = "cannot set its permissions";
  } else if (!WriteAll(fd, bytes.data(), bytes.size(), &error)) {
    step = "cannot write it";
  } else if (::fsync(fd) != 0) {
    error = errno;
    step = "cannot flush it to the disk";
  }
  if (::close(fd) != 0 && step == nullptr) {
    error = errno;
    step = "cannot write it";
  }
  if (step == nullptr && ::rename(temporary.c_str(), path.c_str()) != 0) {
    error = errno;
    step = "cannot replace it";
  }
  if (step != nullptr) {
    ::unlink(temporary.c_str());
    *why = Reason(step, error);
    return false;
  }
  // The rename itself reaches the disk with the folder.
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

bool ReadWholeFile(const std::string& path, size_t maxBytes, std::vector<unsigned char>* bytes,
                   std::string* why) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *why = Reason("cannot open it", errno);
    return false;
  }
  struct stat info = {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    *why = "not a regular file";
    return false;
  }
  if (size_t(info.st_size) > maxBytes) {
    ::close(fd);
    *why = "too large for a session file";
    return false;
  }
  bytes->clear();
  unsigned char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      *why = Reason("cannot read it", errno);
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    if (bytes->size() + size_t(n) > maxBytes) {
      ::close(fd);
      *why = "too large for a session file";
      return false;
    }
    bytes->insert(bytes->end(), buffer, buffer + n);
  }
  ::close(fd);
  return true;
}
