#pragma once
// A bounded queue for one producer thread and one consumer thread that never locks or
// allocates after construction: safe to use from a real-time callback.

#include <atomic>
#include <cstddef>
#include <vector>

template <typename T>
class SpscRing {
 public:
  // Holds up to capacity items.
  explicit SpscRing(size_t capacity) : fItems(capacity + 1) {}

  // Producer: false when full.
  bool Push(const T& item) {
    const size_t tail = fTail.load(std::memory_order_relaxed);
    const size_t next = Next(tail);
    if (next == fHead.load(std::memory_order_acquire)) return false;
    fItems[tail] = item;
    fTail.store(next, std::memory_order_release);
    return true;
  }
  // Producer: free room, at least; the consumer may have made more since.
  size_t Room() const { return Capacity() - Size(); }

  // Consumer: the oldest item, or nullptr when empty; it stays until Pop.
  const T* Front() const {
    const size_t head = fHead.load(std::memory_order_relaxed);
    if (head == fTail.load(std::memory_order_acquire)) return nullptr;
    return &fItems[head];
  }
  // Consumer: removes the oldest item; only after Front returned one.
  void Pop() { fHead.store(Next(fHead.load(std::memory_order_relaxed)), std::memory_order_release); }

  // Either side: a snapshot.
  size_t Size() const {
    const size_t head = fHead.load(std::memory_order_acquire);
    const size_t tail = fTail.load(std::memory_order_acquire);
    return tail >= head ? tail - head : tail + fItems.size() - head;
  }
  size_t Capacity() const { return fItems.size() - 1; }

 private:
  size_t Next(size_t index) const { return index + 1 == fItems.size() ? 0 : index + 1; }
  std::vector<T> fItems;
  std::atomic<size_t> fHead{0};  // written by the consumer
  std::atomic<size_t> fTail{0};  // written by the producer
};
