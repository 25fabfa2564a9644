// A fixed-capacity ring: the newest value replaces the oldest once full, so
// memory is set when the ring is made and never grows.
#pragma once

#include <cstddef>
#include <vector>

namespace kelvo_monitor {

template <typename T>
class RingBuffer {
 public:
  // All `capacity` slots are made (and their memory touched) here.
  explicit RingBuffer(std::size_t capacity, T fill = T{}) : slots_(capacity == 0 ? 1 : capacity, fill) {}

  void Push(const T& value) noexcept {
    slots_[next_] = value;
    next_ = next_ + 1 == slots_.size() ? 0 : next_ + 1;
    if (size_ < slots_.size()) ++size_;
  }
  void Clear() noexcept { size_ = next_ = 0; }

  [[nodiscard]] std::size_t size() const noexcept { return size_; }
  [[nodiscard]] std::size_t capacity() const noexcept { return slots_.size(); }
  [[nodiscard]] bool empty() const noexcept { return size_ == 0; }
  // Oldest first: [0] is the oldest value kept, [size() - 1] the newest.
  [[nodiscard]] const T& operator[](std::size_t i) const noexcept {
    std::size_t at = next_ + slots_.size() - size_ + i;
    if (at >= slots_.size()) at -= slots_.size();
    return slots_[at];
  }
  [[nodiscard]] const T& back() const noexcept { return (*this)[size_ - 1]; }

 private:
  std::vector<T> slots_;
  std::size_t next_ = 0;  // where the next value goes
  std::size_t size_ = 0;
};

}  // namespace kelvo_monitor
