// Messages waiting for the broker (status messages and alarm events): bounded,
// in order, oldest dropped first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "gateway/energy_counter.h"
#include "records/record.h"

namespace kelvo_gateway {

// A status message, held as the answer it reports: a few hundred bytes,
// where its JSON text (mostly the field labels every message repeats) is
// about 2.5 KB. The text is made when the message goes to the library.
struct StatusBody {
  kelvo_records::Record record;
  std::optional<EnergyTotals> energy;  // the unit's counters as of this answer
};

struct OutboundMessage {
  std::shared_ptr<const std::string> topic;    // shared by every message of the unit
  std::variant<StatusBody, std::string> body;  // or the payload itself (an event)
};

class OutboundQueue {
 public:
  explicit OutboundQueue(std::size_t capacity) : capacity_(capacity == 0 ? 1 : capacity) {}

  // Appends `message`; when the queue is full the oldest waiting message goes
  // and is counted in dropped().
  void Push(OutboundMessage message);
  // Puts back a message taken earlier, ahead of the others; not counted as new.
  void PushFront(OutboundMessage message);
  // A smaller capacity drops the oldest at once.
  void SetCapacity(std::size_t capacity);
  // Messages taken from the queue but not yet done with (in flight to the
  // broker) count against the capacity too; they cannot be dropped, so the
  // oldest waiting ones go in their place.
  void SetTakenOut(std::size_t taken);

  [[nodiscard]] bool empty() const { return messages_.empty(); }
  [[nodiscard]] std::size_t size() const { return messages_.size(); }
  [[nodiscard]] OutboundMessage& front() { return messages_.front(); }
  void PopFront() { messages_.pop_front(); }
  [[nodiscard]] std::uint64_t dropped() const { return dropped_; }

 private:
  void Trim();

  std::size_t capacity_;
  std::size_t taken_ = 0;
  std::deque<OutboundMessage> messages_;
  std::uint64_t dropped_ = 0;
};

}  // namespace kelvo_gateway
