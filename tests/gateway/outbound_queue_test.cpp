#include "gateway/outbound_queue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kelvo_gateway {
namespace {

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
      if (action == "push") queue.Push({step.topic, "payload of " + step.topic});
      if (action == "front") queue.PushFront({step.topic, "payload of " + step.topic});
      if (action == "pop") queue.PopFront();
      if (action == "capacity") queue.SetCapacity(step.capacity);
      if (action == "taken") queue.SetTakenOut(step.capacity);
    }
    EXPECT_EQ(queue.dropped(), row.dropped) << row.name;
    ASSERT_EQ(queue.size(), row.left.size()) << row.name;
    for (const std::string& topic : row.left) {
      EXPECT_EQ(queue.front().topic, topic) << row.name;
      EXPECT_EQ(queue.front().payload, "payload of " + topic) << row.name;
      queue.PopFront();
    }
    EXPECT_TRUE(queue.empty()) << row.name;
  }
}

}  // namespace
}  // namespace kelvo_gateway
