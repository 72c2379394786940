#include "platform/app/MessageFolder.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kMaxSocketPath = sizeof(sockaddr_un::sun_path) - 1;
// Room for the folder in a socket address; names are cut to fit what is left.
constexpr size_t kMaxName = 64;

std::string Describe(const std::string& what, int error) {
  return what + ": " + strerror(error);
}

status_t CheckFolder(const std::string& path, std::string* error) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) {
    *error = Describe("cannot look at the message folder " + path, errno);
    return B_ERROR;
  }
  if (S_ISLNK(st.st_mode) || !S_ISDIR(st.st_mode)) {
    *error = "the message folder " + path + " is not a plain folder; refusing to use it";
    return B_PERMISSION_DENIED;
  }
  if (st.st_uid != geteuid()) {
    *error = "the message folder " + path + " belongs to another user; refusing to use it";
    return B_PERMISSION_DENIED;
  }
  if ((st.st_mode & 077) != 0) {
    char mode[8];
    snprintf(mode, sizeof(mode), "%03o", unsigned(st.st_mode & 0777));
    *error = "the message folder " + path + " is open to other users (mode " + mode +
             "); refusing to use it";
    return B_PERMISSION_DENIED;
  }
  return B_OK;
}

}  // namespace

status_t message_folder(std::string* path, std::string* error) {
  std::string folder;
  const char* runtime = getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] != '\0') {
    folder = std::string(runtime) + "/zanvel";
  } else {
    const char* tmp = getenv("TMPDIR");
    folder = std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "/zanvel-" +
             std::to_string(geteuid());
  }
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    *error = Describe("cannot create the message folder " + folder, errno);
    return B_ERROR;
  }
  status_t status = CheckFolder(folder, error);
  if (status != B_OK) return status;
  *path = folder;
  return B_OK;
}

std::string socket_name_for(const std::string& signature) {
  static const char kHex[] = "0123456789abcdef";
  std::string name;
  for (unsigned char c : signature) {
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    bool plain = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
                 c == '.';
    // A leading dot would make "." and ".." or a hidden file; escape it too.
    if (plain && !(c == '.' && name.empty())) {
      name += char(c);
    } else {
      name += '%';
      name += kHex[c >> 4];
      name += kHex[c & 15];
    }
  }
  if (name.empty()) name = "%";
  if (name.size() > kMaxName) {
    // FNV-1a over the folded signature keeps long names apart.
    uint64_t hash = 1469598103934665603ull;
    for (unsigned char c : name) hash = (hash ^ c) * 1099511628211ull;
    char tail[20];
    snprintf(tail, sizeof(tail), "~%016llx", static_cast<unsigned long long>(hash));
    name = name.substr(0, kMaxName - 17) + tail;
  }
  return name;
}

status_t socket_path_for(const std::string& signature, std::string* path, std::string* error) {
  if (signature.empty()) {
    *error = "empty signature";
    return B_BAD_VALUE;
  }
  std::string folder;
  status_t status = message_folder(&folder, error);
  if (status != B_OK) return status;
  std::string full = folder + "/" + socket_name_for(signature);
  if (full.size() > kMaxSocketPath) {
    *error = "the message folder " + folder + " has too long a path for a socket";
    return B_BAD_VALUE;
  }
  *path = full;
  return B_OK;
}

bool is_osc_signature(const char* signature) {
  return signature != nullptr && strncmp(signature, "osc.udp://", 10) == 0;
}
