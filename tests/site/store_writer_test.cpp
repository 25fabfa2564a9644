// The writer's thread against a store that fails a write: what it held goes
// to the store opened next, whole and named as it was.
#include "site/store_writer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace kelvo_site {
namespace {

// What the stores were handed, shared with the test.
struct Written {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<Batch> batches;
  int opened = 0;
};

class FakeStore : public Store {
 public:
  FakeStore(Written& written, bool fails) : written_(written), fails_(fails) {}
  [[nodiscard]] std::string Engine() const override { return "fake"; }
  void Write(const Batch& batch) override {
    if (fails_) throw StoreError{"the disk is full"};
    std::lock_guard lock(written_.mutex);
    written_.batches.push_back(batch);
    written_.changed.notify_all();
  }
  std::vector<UnitState> LoadUnits() override { return {}; }
  std::vector<BusState> LoadBuses() override { return {}; }
  std::vector<Point> History(const HistoryQuery&) override { return {}; }
  void Events(std::int64_t, std::int64_t, const std::optional<std::string>&,
              const std::optional<std::string>&, const std::optional<int>&,
              const std::function<bool(const Event&)>&) override {}
  void Answers(const UnitId&, std::int64_t, std::int64_t,
               const std::function<bool(const Answer&)>&) override {}
  void Prune(std::int64_t) override {}

 private:
  Written& written_;
  bool fails_;
};

TEST(StoreWriter, GivesAFailedBatchWholeToTheStoreOpenedNext) {
  Written written;
  StoreWriter writer(
      [&] {
        std::lock_guard lock(written.mutex);
        return std::make_unique<FakeStore>(written, written.opened++ == 0);
      },
      [](bool, const std::string&) {});
  const UnitId unit{"kelvo/site-a", "rack1", 3};
  const UnitId twin{"kelvo/site-a", "rack2", 3};
  writer.Put(UnitState{unit, true, 1000, R"({"soc":51})", "[]"});
  writer.Put(UnitState{twin, false, 900, R"({"soc":7})", "[]"});
  writer.Put(BusState{"kelvo/site-a", "rack1", R"({"soc":51})", "[]"});
  writer.Add(Answer{unit, 1000, std::make_shared<std::vector<Slot>>(std::vector<Slot>{{"soc", 0}}), {51}});

  std::unique_lock lock(written.mutex);
  ASSERT_TRUE(
      written.changed.wait_for(lock, std::chrono::seconds(20), [&] { return !written.batches.empty(); }));
  EXPECT_EQ(written.opened, 2);
  const Batch& batch = written.batches.front();
  ASSERT_EQ(batch.units.size(), 2U);
  EXPECT_EQ(batch.units[0].unit, unit);
  EXPECT_EQ(batch.units[0].values_json, R"({"soc":51})");
  EXPECT_EQ(batch.units[1].unit, twin);
  ASSERT_EQ(batch.buses.size(), 1U);
  EXPECT_EQ(batch.buses[0].bus, "rack1");
  ASSERT_EQ(batch.answers.size(), 1U);
  EXPECT_EQ(batch.answers[0].unit, unit);
  EXPECT_EQ(writer.failures(), 1U);
}

}  // namespace
}  // namespace kelvo_site
