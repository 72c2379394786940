#include "platform/support/Area.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>

namespace {

struct Area {
  int fd;
  void* address;
  size_t size;
  char name[32];
};

// Never destroyed, so that threads still running at exit find the table intact.
std::mutex& gAreaLock = *new std::mutex;
std::map<area_id, Area>& Areas() {
  static auto* areas = new std::map<area_id, Area>;
  return *areas;
}
area_id gNextArea = 1;

size_t RoundToPages(size_t size) {
  size_t page = size_t(sysconf(_SC_PAGESIZE));
  return (size + page - 1) / page * page;
}

area_id Insert(const char* name, int fd, void* address, size_t size) {
  Area area{fd, address, size, {}};
  std::strncpy(area.name, name ? name : "", sizeof(area.name) - 1);
  area_id id = gNextArea++;
  Areas().emplace(id, area);
  return id;
}

}  // namespace

area_id create_area(const char* name, void** address, size_t size) {
  if (address == nullptr || size == 0) return B_BAD_VALUE;
  size = RoundToPages(size);
  int fd = memfd_create(name && *name ? name : "area", MFD_CLOEXEC);
  if (fd < 0) return B_NO_MEMORY;
  if (ftruncate(fd, off_t(size)) != 0) {
    close(fd);
    return B_NO_MEMORY;
  }
  void* base = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (base == MAP_FAILED) {
    close(fd);
    return B_NO_MEMORY;
  }
  std::lock_guard<std::mutex> lock(gAreaLock);
  *address = base;
  return Insert(name, fd, base, size);
}

area_id clone_area(const char* name, void** address, area_id source) {
  if (address == nullptr) return B_BAD_VALUE;
  std::lock_guard<std::mutex> lock(gAreaLock);
  auto it = Areas().find(source);
  if (it == Areas().end()) return B_BAD_VALUE;
  int fd = dup(it->second.fd);
  if (fd < 0) return B_NO_MEMORY;
  size_t size = it->second.size;
  void* base = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (base == MAP_FAILED) {
    close(fd);
    return B_NO_MEMORY;
  }
  *address = base;
  return Insert(name, fd, base, size);
}

status_t delete_area(area_id id) {
  Area area;
  {
    std::lock_guard<std::mutex> lock(gAreaLock);
    auto it = Areas().find(id);
    if (it == Areas().end()) return B_BAD_VALUE;
    area = it->second;
    Areas().erase(it);
  }
  munmap(area.address, area.size);
  close(area.fd);
  return B_OK;
}

area_id area_for(const void* address) {
  auto at = reinterpret_cast<uintptr_t>(address);
  std::lock_guard<std::mutex> lock(gAreaLock);
  for (const auto& [id, area] : Areas()) {
    auto base = reinterpret_cast<uintptr_t>(area.address);
    if (at >= base && at < base + area.size) return id;
  }
  return -1;
}

status_t get_area_info(area_id id, area_info* info) {
  if (info == nullptr) return B_BAD_VALUE;
  std::lock_guard<std::mutex> lock(gAreaLock);
  auto it = Areas().find(id);
  if (it == Areas().end()) return B_BAD_VALUE;
  info->area = id;
  std::memcpy(info->name, it->second.name, sizeof(info->name));
  info->size = it->second.size;
  info->address = it->second.address;
  return B_OK;
}
