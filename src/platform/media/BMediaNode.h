#pragma once
// A node of the media graph: a named object with a control port whose messages its control
// thread handles. Nodes are reference counted; the last Release destroys the node.

#include <atomic>

#include "platform/media/MediaDefs.h"

class BMediaAddOn;
class BTimeSource;

class BMediaNode {
 public:
  virtual ~BMediaNode();
  BMediaNode(const BMediaNode&) = delete;
  BMediaNode& operator=(const BMediaNode&) = delete;

  // Adds a reference.
  BMediaNode* Acquire();
  // Drops a reference; the last one unregisters and destroys the node and returns nullptr.
  BMediaNode* Release();

  const char* Name() const { return fName; }
  // The id the roster gave the node; -1 before registration.
  media_node_id ID() const { return fNodeID.load(std::memory_order_acquire); }
  uint64_t Kinds() const { return fKinds.load(std::memory_order_relaxed); }
  media_node Node() const;
  run_mode RunMode() const { return fRunMode.load(std::memory_order_relaxed); }
  // The time source the node follows (the system time source unless told otherwise).
  BTimeSource* TimeSource() const;
  virtual port_id ControlPort() const { return fControlPort; }

  // The add-on that made the node and the node's id within it.
  virtual BMediaAddOn* AddOn(int32* internalID) const = 0;

  // Handles one control message; B_OK when the message was this class's to handle.
  virtual status_t HandleMessage(int32 code, const void* data, size_t size);
  // Reports a message that nobody handled (printed on standard error).
  void HandleBadMessage(int32 code, const void* data, size_t size);

 protected:
  explicit BMediaNode(const char* name);

  void AddNodeKind(uint64_t kind) { fKinds.fetch_or(kind, std::memory_order_relaxed); }

  // Requests, called in the control thread.
  virtual void Start(bigtime_t performanceTime);
  virtual void Stop(bigtime_t performanceTime, bool immediate);
  virtual void Seek(bigtime_t mediaTime, bigtime_t performanceTime);
  virtual void SetRunMode(run_mode mode);
  virtual void TimeWarp(bigtime_t atRealTime, bigtime_t toPerformanceTime);
  virtual void SetTimeSource(BTimeSource* timeSource);
  // The answer to a request this node made of another node.
  virtual status_t RequestCompleted(const media_request_info& info);
  // Runs in the registering thread once the roster knows the node.
  virtual void NodeRegistered();
  // The last reference went; the default deletes the node.
  virtual status_t DeleteHook(BMediaNode* node);

  // The delay a recording producer adds to its time stamps (SetProducerRunModeDelay).
  bigtime_t RunModeDelay() const { return fRunModeDelay.load(std::memory_order_relaxed); }

 private:
  friend class BMediaRoster;

  char fName[B_MEDIA_NAME_LENGTH];
  port_id fControlPort;
  std::atomic<media_node_id> fNodeID{-1};
  std::atomic<uint64_t> fKinds{0};
  std::atomic<int32> fRefCount{1};
  std::atomic<run_mode> fRunMode{B_DROP_DATA};
  std::atomic<bigtime_t> fRunModeDelay{0};
  std::atomic<BTimeSource*> fTimeSource{nullptr};
};
