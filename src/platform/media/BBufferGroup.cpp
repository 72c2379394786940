#include "platform/media/BBufferGroup.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <vector>

namespace media_buffers {

struct GroupState {
  ~GroupState();
  BBuffer* NewBuffer(media_buffer_id id, void* data, size_t size, uint32 flags, area_id area,
                     size_t offset) {
    buffers.emplace_back(new BBuffer(id, data, size, flags, area, offset));
    return buffers.back().get();
  }

  mutable std::mutex lock;
  std::condition_variable returned;
  std::vector<std::unique_ptr<BBuffer>> buffers;  // in the order they were added
  std::deque<BBuffer*> free;
  std::vector<area_id> mappings;  // the group's own mappings of its buffers' memory
  bool alive = true;
};

namespace {
// Never destroyed, like the ports: groups may still end while the program exits.
std::mutex& gRegistryLock = *new std::mutex;
std::map<media_buffer_id, std::weak_ptr<GroupState>>& Registry() {
  static auto* registry = new std::map<media_buffer_id, std::weak_ptr<GroupState>>;
  return *registry;
}
media_buffer_id gNextBuffer = 1;
}  // namespace

GroupState::~GroupState() {
  {
    std::lock_guard<std::mutex> registryLock(gRegistryLock);
    for (const auto& buffer : buffers) Registry().erase(buffer->ID());
  }
  buffers.clear();
  for (area_id area : mappings) delete_area(area);
}

}  // namespace media_buffers

using media_buffers::GroupState;

BBuffer::BBuffer(media_buffer_id id, void* data, size_t size, uint32 flags, area_id area,
                 size_t offset)
    : fID(id), fData(data), fSize(size), fFlags(flags), fArea(area), fOffset(offset), fHeader() {
  fHeader.buffer = id;
}

buffer_clone_info BBuffer::CloneInfo() const {
  return buffer_clone_info{fID, fArea, fOffset, fSize, int32(fFlags)};
}

void BBuffer::Recycle() {
  // The local reference keeps the group (and this buffer) alive to the end of the call even
  // when the group's owner has already ended it.
  std::shared_ptr<GroupState> state = std::move(fOut);
  if (!state) return;
  std::lock_guard<std::mutex> lock(state->lock);
  state->free.push_back(this);
  state->returned.notify_one();
}

BBufferGroup::BBufferGroup() : fState(std::make_shared<GroupState>()), fOwner(true) {}

BBufferGroup::BBufferGroup(size_t size, int32 count) : BBufferGroup() {
  if (size == 0 || count <= 0) {
    fInitStatus = B_BAD_VALUE;
    return;
  }
  for (int32 i = 0; i < count && fInitStatus == B_OK; i++) {
    void* address;
    area_id area = create_area("buffer", &address, size);
    if (area < 0) {
      fInitStatus = area;
      break;
    }
    fInitStatus = AddBuffer(buffer_clone_info{0, area, 0, size, 0});
    delete_area(area);  // the group's own mapping keeps the memory
  }
}

BBufferGroup::BBufferGroup(int32 count, const media_buffer_id* ids) : fOwner(false) {
  if (count <= 0 || ids == nullptr) {
    fInitStatus = B_BAD_VALUE;
    return;
  }
  std::lock_guard<std::mutex> lock(media_buffers::gRegistryLock);
  for (int32 i = 0; i < count; i++) {
    auto it = media_buffers::Registry().find(ids[i]);
    std::shared_ptr<GroupState> state = it == media_buffers::Registry().end() ? nullptr
                                                                               : it->second.lock();
    if (!state || (fState && state != fState)) {
      fState.reset();
      fInitStatus = B_MEDIA_BAD_BUFFER;
      return;
    }
    fState = state;
  }
}

BBufferGroup::~BBufferGroup() {
  if (fOwner && fState) {
    std::lock_guard<std::mutex> lock(fState->lock);
    fState->alive = false;
    fState->returned.notify_all();
  }
}

status_t BBufferGroup::AddBuffer(const buffer_clone_info& info, BBuffer** out) {
  if (out) *out = nullptr;
  if (!fState || !fOwner) return B_NOT_ALLOWED;
  area_info areaInfo;
  if (get_area_info(info.area, &areaInfo) != B_OK) return B_BAD_VALUE;
  if (info.size == 0 || info.offset > areaInfo.size || info.size > areaInfo.size - info.offset)
    return B_BAD_VALUE;
  void* base;
  area_id mapping = clone_area("buffer", &base, info.area);
  if (mapping < 0) return mapping;
  media_buffer_id id;
  {
    std::lock_guard<std::mutex> registryLock(media_buffers::gRegistryLock);
    id = media_buffers::gNextBuffer++;
    media_buffers::Registry()[id] = fState;
  }
  std::lock_guard<std::mutex> lock(fState->lock);
  fState->mappings.push_back(mapping);
  BBuffer* buffer = fState->NewBuffer(id, static_cast<uint8*>(base) + info.offset, info.size,
                                      uint32(info.flags), info.area, info.offset);
  fState->free.push_back(buffer);
  fState->returned.notify_one();
  if (out) *out = buffer;
  return B_OK;
}

BBuffer* BBufferGroup::RequestBuffer(size_t size, bigtime_t timeout) {
  if (!fState) {
    fRequestError = B_BAD_VALUE;
    return nullptr;
  }
  std::unique_lock<std::mutex> lock(fState->lock);
  auto find = [&]() -> BBuffer* {
    for (auto it = fState->free.begin(); it != fState->free.end(); ++it) {
      if ((*it)->SizeAvailable() >= size) {
        BBuffer* buffer = *it;
        fState->free.erase(it);
        return buffer;
      }
    }
    return nullptr;
  };
  BBuffer* buffer = nullptr;
  auto ready = [&] { return !fState->alive || (buffer = find()) != nullptr; };
  if (!ready() && timeout > 0) {
    if (timeout == B_INFINITE_TIMEOUT)
      fState->returned.wait(lock, ready);
    else
      fState->returned.wait_for(lock, std::chrono::microseconds(timeout), ready);
  }
  if (!fState->alive) {
    if (buffer) fState->free.push_front(buffer);
    fRequestError = B_MEDIA_BAD_BUFFER;
    return nullptr;
  }
  if (buffer == nullptr) {
    fRequestError = timeout > 0 ? B_TIMED_OUT : B_WOULD_BLOCK;
    return nullptr;
  }
  buffer->fOut = fState;
  buffer->fHeader = media_header();
  buffer->fHeader.buffer = buffer->fID;
  fRequestError = B_OK;
  return buffer;
}

status_t BBufferGroup::CountBuffers(int32* count) const {
  if (count == nullptr) return B_BAD_VALUE;
  if (!fState) return B_BAD_VALUE;
  std::lock_guard<std::mutex> lock(fState->lock);
  *count = int32(fState->buffers.size());
  return B_OK;
}

status_t BBufferGroup::GetBufferList(int32 count, BBuffer** buffers) const {
  if (count <= 0 || buffers == nullptr) return B_BAD_VALUE;
  if (!fState) return B_BAD_VALUE;
  std::lock_guard<std::mutex> lock(fState->lock);
  for (int32 i = 0; i < count && size_t(i) < fState->buffers.size(); i++)
    buffers[i] = fState->buffers[size_t(i)].get();
  return B_OK;
}

int32 BBufferGroup::CountFreeBuffers() const {
  if (!fState) return 0;
  std::lock_guard<std::mutex> lock(fState->lock);
  return int32(fState->free.size());
}

bool BBufferGroup::IsAlive() const {
  if (!fState) return false;
  std::lock_guard<std::mutex> lock(fState->lock);
  return fState->alive;
}
