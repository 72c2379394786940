#include "platform/media/Port.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace {

struct Message {
  int32 code;
  std::vector<uint8> data;
};

struct Port {
  explicit Port(int32 cap) : capacity(cap) {}
  const int32 capacity;
  std::mutex lock;
  std::condition_variable readable;
  std::condition_variable writable;
  std::deque<Message> messages;
  bool deleted = false;
};

// Never destroyed: control threads of nodes that live to the end of the program still read
// their ports while static objects are torn down.
std::mutex& gPortsLock = *new std::mutex;
std::map<port_id, std::shared_ptr<Port>>& Ports() {
  static auto* ports = new std::map<port_id, std::shared_ptr<Port>>;
  return *ports;
}
port_id gNextPort = 1;

std::shared_ptr<Port> Find(port_id id) {
  std::lock_guard<std::mutex> lock(gPortsLock);
  auto it = Ports().find(id);
  return it == Ports().end() ? nullptr : it->second;
}

// Waits on `cv` until `ready` holds, for at most `timeout` µs.
template <typename Ready>
bool WaitFor(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, bigtime_t timeout,
             Ready ready) {
  if (timeout == B_INFINITE_TIMEOUT) {
    cv.wait(lock, ready);
    return true;
  }
  return cv.wait_for(lock, std::chrono::microseconds(timeout), ready);
}

}  // namespace

port_id create_port(int32 capacity, const char* /*name*/) {
  if (capacity <= 0) return B_BAD_VALUE;
  std::lock_guard<std::mutex> lock(gPortsLock);
  port_id id = gNextPort++;
  Ports().emplace(id, std::make_shared<Port>(capacity));
  return id;
}

status_t delete_port(port_id id) {
  std::shared_ptr<Port> port;
  {
    std::lock_guard<std::mutex> lock(gPortsLock);
    auto it = Ports().find(id);
    if (it == Ports().end()) return B_BAD_PORT_ID;
    port = it->second;
    Ports().erase(it);
  }
  std::lock_guard<std::mutex> lock(port->lock);
  port->deleted = true;
  port->messages.clear();
  port->readable.notify_all();
  port->writable.notify_all();
  return B_OK;
}

status_t write_port_etc(port_id id, int32 code, const void* data, size_t size, bigtime_t timeout) {
  std::shared_ptr<Port> port = Find(id);
  if (!port) return B_BAD_PORT_ID;
  std::unique_lock<std::mutex> lock(port->lock);
  auto room = [&] { return port->deleted || int32(port->messages.size()) < port->capacity; };
  if (!room()) {
    if (timeout <= 0) return B_WOULD_BLOCK;
    if (!WaitFor(port->writable, lock, timeout, room)) return B_TIMED_OUT;
  }
  if (port->deleted) return B_BAD_PORT_ID;
  Message message{code, {}};
  if (size > 0 && data != nullptr) {
    const auto* bytes = static_cast<const uint8*>(data);
    message.data.assign(bytes, bytes + size);
  }
  port->messages.push_back(std::move(message));
  port->readable.notify_one();
  return B_OK;
}

ssize_t read_port_etc(port_id id, int32* code, void* buffer, size_t size, bigtime_t timeout) {
  std::shared_ptr<Port> port = Find(id);
  if (!port) return B_BAD_PORT_ID;
  std::unique_lock<std::mutex> lock(port->lock);
  auto ready = [&] { return port->deleted || !port->messages.empty(); };
  if (!ready()) {
    if (timeout <= 0) return B_WOULD_BLOCK;
    if (!WaitFor(port->readable, lock, timeout, ready)) return B_TIMED_OUT;
  }
  if (port->deleted) return B_BAD_PORT_ID;
  Message message = std::move(port->messages.front());
  port->messages.pop_front();
  port->writable.notify_one();
  lock.unlock();
  if (code) *code = message.code;
  if (buffer && size > 0) std::memcpy(buffer, message.data.data(), std::min(size, message.data.size()));
  return ssize_t(message.data.size());
}

ssize_t port_count(port_id id) {
  std::shared_ptr<Port> port = Find(id);
  if (!port) return B_BAD_PORT_ID;
  std::lock_guard<std::mutex> lock(port->lock);
  return ssize_t(port->messages.size());
}
