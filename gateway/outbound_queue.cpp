#include "gateway/outbound_queue.h"

namespace kelvo_gateway {

void OutboundQueue::Push(OutboundMessage message) {
  messages_.push_back(std::move(message));
  Trim();
}

void OutboundQueue::PushFront(OutboundMessage message) {
  messages_.push_front(std::move(message));
  Trim();
}

void OutboundQueue::SetCapacity(std::size_t capacity) {
  capacity_ = capacity == 0 ? 1 : capacity;
  Trim();
}

void OutboundQueue::SetTakenOut(std::size_t taken) {
  taken_ = taken;
  Trim();
}

void OutboundQueue::Trim() {
  while (!messages_.empty() && messages_.size() + taken_ > capacity_) {
    messages_.pop_front();
    ++dropped_;
  }
}

}  // namespace kelvo_gateway
