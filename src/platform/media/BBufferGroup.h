#pragma once
// A set of buffers over shared memory. The group's owner (the node that made it) decides when
// it ends; producers that were handed the same buffers work through a group of their own that
// shares them. Ending a group never frees memory that a buffer still out of it uses: such
// buffers are freed when they come back.

#include <memory>

#include "platform/media/BBuffer.h"

class BBufferGroup {
 public:
  // An empty group to which AddBuffer adds buffers over memory the caller supplies.
  BBufferGroup();
  // A group of `count` buffers of `size` bytes each in memory of its own.
  BBufferGroup(size_t size, int32 count);
  // A group that shares the given buffers of another group (it does not own them).
  BBufferGroup(int32 count, const media_buffer_id* buffers);
  ~BBufferGroup();
  BBufferGroup(const BBufferGroup&) = delete;
  BBufferGroup& operator=(const BBufferGroup&) = delete;

  status_t InitCheck() const { return fInitStatus; }

  // Adds a buffer over `info.size` bytes at `info.offset` in area `info.area`; the group maps
  // that memory itself, so the area may be deleted while buffers are out.
  status_t AddBuffer(const buffer_clone_info& info, BBuffer** buffer = nullptr);

  // A free buffer of at least `size` bytes, waiting at most `timeout` µs; nullptr when none
  // came (RequestError says why: B_WOULD_BLOCK / B_TIMED_OUT, or B_MEDIA_BAD_BUFFER when the
  // group's owner has ended it).
  BBuffer* RequestBuffer(size_t size, bigtime_t timeout);
  status_t RequestError() const { return fRequestError; }

  status_t CountBuffers(int32* count) const;
  // Up to `count` buffers in the order they were added.
  status_t GetBufferList(int32 count, BBuffer** buffers) const;
  // How many buffers are in the group and not out.
  int32 CountFreeBuffers() const;
  // False once the group's owner has ended it.
  bool IsAlive() const;

 private:
  std::shared_ptr<media_buffers::GroupState> fState;
  bool fOwner;
  status_t fInitStatus = B_OK;
  status_t fRequestError = B_OK;
};
