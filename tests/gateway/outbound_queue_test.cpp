#include "gateway/outbound_queue.h"

#include <gtest/gtest.h>
#include <malloc.h>

#include <chrono>
#include <string>
#include <vector>

#include "codec/requests.h"
#include "sim/simulated_unit.h"

namespace kelvo_gateway {
namespace {

std::shared_ptr<const std::string> Topic(std::string topic) {
  return std::make_shared<const std::string>(std::move(topic));
}

// One step on the queue: "push", "front" (put back ahead), "pop", "capacity"
// or "taken" (messages held in flight elsewhere).
struct Step {
  const char* action;
  std::string topic;         // the message for push and front
  std::size_t capacity = 0;  // for capacity and taken
};

TEST(GatewayOutboundQueue, KeepsOrderAndDropsTheOldestFirst) {
  const struct {
    const char* name;
    std::size_t capacity;
    std::vector<Step> steps;
    std::vector<std::string> left;  // topics, front first
    std::uint64_t dropped;
  } rows[] = {
      {"room for all", 3, {{"push", "a"}, {"push", "b"}, {"push", "c"}}, {"a", "b", "c"}, 0},
      {"full: the oldest goes",
       3,
       {{"push", "a"}, {"push", "b"}, {"push", "c"}, {"push", "d"}, {"push", "e"}},
       {"c", "d", "e"},
       2},
      {"put back ahead of the others", 3, {{"push", "b"}, {"push", "c"}, {"front", "a"}}, {"a", "b", "c"}, 0},
      // What was put back is the oldest, so it is what a full queue gives up.
      {"put back into a full queue", 2, {{"push", "b"}, {"push", "c"}, {"front", "a"}}, {"b", "c"}, 1},
      {"taken messages are not drops",
       2,
       {{"push", "a"}, {"push", "b"}, {"pop", ""}, {"push", "c"}},
       {"b", "c"},
       0},
      {"smaller capacity drops at once",
       4,
       {{"push", "a"}, {"push", "b"}, {"push", "c"}, {"capacity", "", 1}},
       {"c"},
       2},
      {"larger capacity drops nothing",
       1,
       {{"push", "a"}, {"capacity", "", 3}, {"push", "b"}, {"push", "c"}},
       {"a", "b", "c"},
       0},
      {"capacity 0 holds one", 0, {{"push", "a"}, {"push", "b"}}, {"b"}, 1},
      {"drops add up across capacities",
       2,
       {{"push", "a"}, {"push", "b"}, {"push", "c"}, {"capacity", "", 1}, {"push", "d"}},
       {"d"},
       3},
      // In flight counts against the bound; the oldest waiting go in its place.
      {"taken out fills the bound", 3, {{"push", "a"}, {"push", "b"}, {"taken", "", 2}}, {"b"}, 1},
      {"full with taken out: the newest waits alone",
       2,
       {{"taken", "", 1}, {"push", "a"}, {"push", "b"}},
       {"b"},
       1},
      {"fewer taken out makes room",
       2,
       {{"taken", "", 2}, {"taken", "", 0}, {"push", "a"}, {"push", "b"}},
       {"a", "b"},
       0},
  };
  for (const auto& row : rows) {
    OutboundQueue queue(row.capacity);
    for (const Step& step : row.steps) {
      const std::string action = step.action;
      if (action == "push")
        queue.Push({Topic(step.topic), StatusBody{{{}, 0, "answer for " + step.topic, 0}, {}}});
      if (action == "front")
        queue.PushFront({Topic(step.topic), StatusBody{{{}, 0, "answer for " + step.topic, 0}, {}}});
      if (action == "pop") queue.PopFront();
      if (action == "capacity") queue.SetCapacity(step.capacity);
      if (action == "taken") queue.SetTakenOut(step.capacity);
    }
    EXPECT_EQ(queue.dropped(), row.dropped) << row.name;
    ASSERT_EQ(queue.size(), row.left.size()) << row.name;
    for (const std::string& topic : row.left) {
      EXPECT_EQ(*queue.front().topic, topic) << row.name;
      EXPECT_EQ(std::get<StatusBody>(queue.front().body).record.frame, "answer for " + topic) << row.name;
      queue.PopFront();
    }
    EXPECT_TRUE(queue.empty()) << row.name;
  }
}

// 10,000 status messages queued, as a long outage leaves them: each costs a
// few hundred bytes (its answer, its topic, its place), not its 2.5 KB of JSON.
TEST(GatewayOutboundQueue, QueuedMessagesAreCompact) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's allocator keeps books of its own";
#else
  kelvo_sim::SimulatedUnit unit({1}, {}, 7);
  const std::string frame =
      unit.Answer(codec::StatusRequest(1, 1700000000).frame, std::chrono::steady_clock::now()).value();
  constexpr std::size_t kCount = 10000;
  OutboundQueue queue(kCount);
  const std::size_t before = mallinfo2().uordblks;
  const auto topic = Topic("kelvo/site-a/rack1/1/status");
  for (std::size_t i = 0; i < kCount; ++i) {
    queue.Push({topic, StatusBody{{std::chrono::system_clock::now(), 1, frame, 12.5}, {}}});
  }
  const std::size_t per_message = (mallinfo2().uordblks - before) / kCount;
  EXPECT_LT(per_message, 2 * frame.size())
      << per_message << " bytes a message, the frame is " << frame.size();
  RecordProperty("bytes_per_queued_message", static_cast<int>(per_message));
#endif
}

}  // namespace
}  // namespace kelvo_gateway
