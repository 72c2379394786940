#pragma once
// One buffer of a buffer group: a stretch of shared memory and the header that travels
// with it. A producer takes it from a group, fills and sends it; whoever receives it
// recycles it, which gives it back to its group.

#include <memory>

#include "platform/media/MediaDefs.h"

namespace media_buffers {
struct GroupState;
}

class BBuffer {
 public:
  void* Data() const { return fData; }
  size_t SizeAvailable() const { return fSize; }
  size_t Size() const { return fSize; }
  size_t SizeUsed() const { return fHeader.size_used; }
  void SetSizeUsed(size_t used) { fHeader.size_used = uint32(used < fSize ? used : fSize); }
  uint32 Flags() const { return fFlags; }
  media_buffer_id ID() const { return fID; }
  media_type Type() const { return fHeader.type; }
  media_header* Header() { return &fHeader; }
  const media_header* Header() const { return &fHeader; }
  buffer_clone_info CloneInfo() const;

  // Gives the buffer back to its group. A buffer that is not out is left alone.
  void Recycle();

  BBuffer(const BBuffer&) = delete;
  BBuffer& operator=(const BBuffer&) = delete;

 private:
  friend struct media_buffers::GroupState;
  friend class BBufferGroup;
  BBuffer(media_buffer_id id, void* data, size_t size, uint32 flags, area_id area, size_t offset);
  ~BBuffer() = default;
  friend struct std::default_delete<BBuffer>;

  media_buffer_id fID;
  void* fData;
  size_t fSize;
  uint32 fFlags;
  area_id fArea;
  size_t fOffset;
  media_header fHeader;
  // Set while the buffer is out of its group: keeps the group's memory alive until then.
  std::shared_ptr<media_buffers::GroupState> fOut;
};
