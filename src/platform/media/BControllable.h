#pragma once
// A node whose parameters can be read and changed (through its parameter web).

#include <memory>
#include <mutex>

#include "platform/media/BMediaNode.h"
#include "platform/media/BParameterWeb.h"

class BControllable : public virtual BMediaNode {
 public:
  ~BControllable() override;
  // Dispatches the parameter messages; B_ERROR for any other message.
  status_t HandleMessage(int32 code, const void* data, size_t size) override;

 protected:
  BControllable();

  // The value of parameter `id`; *ioSize is the room in `value`, then the size written.
  virtual status_t GetParameterValue(int32 id, bigtime_t* lastChange, void* value,
                                     size_t* ioSize) = 0;
  virtual void SetParameterValue(int32 id, bigtime_t when, const void* value, size_t size) = 0;

  // Replaces the web (the node takes ownership) and tells the roster's watchers.
  status_t SetParameterWeb(BParameterWeb* web);

 private:
  std::mutex fWebLock;
  std::unique_ptr<BParameterWeb> fWeb;
};
