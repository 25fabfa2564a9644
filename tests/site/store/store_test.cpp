// The store against both engines, with figures worked out by hand.
#include "site/store/store.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "site/store/history_step.h"
#include "site/store/store_url.h"
#ifdef KVZ_TEST_POSTGRES
#include "postgres_server.h"
#endif

namespace kelvo_site {
namespace {

constexpr double kNull = std::numeric_limits<double>::quiet_NaN();
// 2026-12-09T10:00:00Z, an even hour.
constexpr std::int64_t kTen = 1'796'810'400'000;
constexpr std::int64_t kSecond = 1000;
constexpr std::int64_t kMinute = 60 * kSecond;
constexpr std::int64_t kHour = 60 * kMinute;
constexpr std::int64_t kDay = 24 * kHour;

const UnitId kUnit{"kelvo/site-a", "rack1", 3};
const UnitId kOther{"kelvo/site-a", "rack1", 4};

std::shared_ptr<const std::vector<Slot>> Layout() {
  static const auto slots = std::make_shared<const std::vector<Slot>>(
      std::vector<Slot>{{"total_voltage", 0}, {"cell_voltages", 1}, {"cell_voltages", 2}});
  return slots;
}

Answer At(const UnitId& unit, std::int64_t time_ms, std::vector<double> numbers) {
  return {unit, time_ms, Layout(), std::move(numbers)};
}

Batch Answers(std::vector<Answer> answers) {
  Batch batch;
  batch.answers = std::move(answers);
  return batch;
}

std::vector<Point> Points(Store& store, int step_s, std::int64_t from_ms, std::int64_t to_ms,
                          Slot slot = {"total_voltage", 0}) {
  return store.History({kUnit, std::move(slot), from_ms, to_ms, step_s});
}

struct Expected {
  std::int64_t time_ms;
  double mean, min, max;
};

void ExpectPoints(const std::vector<Point>& points, const std::vector<Expected>& expected) {
  ASSERT_EQ(points.size(), expected.size());
  for (std::size_t i = 0; i < points.size(); ++i) {
    SCOPED_TRACE("point " + std::to_string(i));
    EXPECT_EQ(points[i].time_ms, expected[i].time_ms);
    EXPECT_DOUBLE_EQ(points[i].mean, expected[i].mean);
    EXPECT_DOUBLE_EQ(points[i].min, expected[i].min);
    EXPECT_DOUBLE_EQ(points[i].max, expected[i].max);
  }
}

class StoreTest : public testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    if (GetParam() == "sqlite") {
      char pattern[] = "/tmp/kvz-store-XXXXXX";
      ASSERT_NE(mkdtemp(pattern), nullptr);
      dir_ = pattern;
      url_ = "sqlite://" + dir_ + "/site.db";
    } else {
#ifdef KVZ_TEST_POSTGRES
      url_ = Server().UrlOfNewDatabase();
#endif
    }
  }
  void TearDown() override {
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }

#ifdef KVZ_TEST_POSTGRES
  static kvz_test::PostgresServer& Server() {
    static kvz_test::PostgresServer server;
    return server;
  }
#endif

  [[nodiscard]] std::unique_ptr<Store> Open(Retention retention = {}) {
    return OpenStore(url_, "", retention);
  }

  std::string dir_;
  std::string url_;
};

TEST_P(StoreTest, AnswersComeBackAsWrittenNullsIncluded) {
  auto store = Open();
  EXPECT_EQ(store->Engine(), GetParam());
  const auto other_layout = std::make_shared<const std::vector<Slot>>(std::vector<Slot>{{"soc", 0}});
  store->Write(Answers({At(kUnit, kTen + 2 * kSecond, {53.25, kNull, 3.301}),
                        At(kUnit, kTen, {53.0, 3.3, -0.0}),
                        {kUnit, kTen + 4 * kSecond, other_layout, {97.5}},
                        At(kOther, kTen, {1, 2, 3})}));

  auto reopened = Open();
  std::vector<Answer> read;
  reopened->Answers(kUnit, kTen, kTen + kMinute, [&](const Answer& answer) {
    read.push_back(answer);
    return true;
  });
  ASSERT_EQ(read.size(), 3u);
  EXPECT_EQ(read[0].time_ms, kTen);
  EXPECT_EQ(*read[0].slots, *Layout());
  EXPECT_EQ(read[0].numbers[1], 3.3);
  EXPECT_TRUE(std::signbit(read[0].numbers[2]));  // Bit for bit, -0 too.
  EXPECT_EQ(read[1].time_ms, kTen + 2 * kSecond);
  EXPECT_EQ(read[1].numbers[0], 53.25);
  EXPECT_TRUE(std::isnan(read[1].numbers[1]));
  EXPECT_EQ(read[1].numbers[2], 3.301);
  EXPECT_EQ(read[0].unit, kUnit);
  EXPECT_EQ(*read[2].slots, *other_layout);
  EXPECT_EQ(read[2].numbers, std::vector<double>{97.5});

  // Streaming stops when told; raw history skips the null and the layout without the slot.
  int seen = 0;
  reopened->Answers(kUnit, kTen, kTen + kMinute, [&](const Answer&) { return ++seen < 2; });
  EXPECT_EQ(seen, 2);
  ExpectPoints(Points(*reopened, 0, kTen, kTen + kMinute, {"cell_voltages", 1}), {{kTen, 3.3, 3.3, 3.3}});
  // Bounds are inclusive.
  ExpectPoints(Points(*reopened, 0, kTen + 2 * kSecond, kTen + 2 * kSecond),
               {{kTen + 2 * kSecond, 53.25, 53.25, 53.25}});
}

// The answers of 10:00 to 10:01 (total_voltage, cell 2), written as a
// gateway and a restart would: in order, then a late one and a replay, then
// from a second Store on the same database.
//   10:00:05  1   10      minute 10:00: 1 3 8 0 -> mean 3, min 0, max 8
//   10:00:35  3   null                   cell 2: 10 20 -> mean 15
//   10:01:10  5   30      minute 10:01: 5; cell 2: 30
//   10:00:50  8   null    (late)
//   10:00:05  1   10      (replayed: counted once)
//   10:00:55  0   20      (after the restart)
//   11:59:59  4   null    hour 11:00
// Hour 10:00: 1 3 8 0 5 -> mean 3.4, min 0, max 8; cell 2: 10 20 30 -> 20.
// Two hours from 10:00: 1 3 8 0 5 4 -> mean 3.5.
class Aggregates : public StoreTest {
 protected:
  void WriteDay() {
    {
      auto store = Open();
      store->Write(
          Answers({At(kUnit, kTen + 5 * kSecond, {1, 0, 10}), At(kUnit, kTen + 35 * kSecond, {3, 0, kNull}),
                   At(kUnit, kTen + 70 * kSecond, {5, 0, 30})}));
      store->Write(Answers(
          {At(kUnit, kTen + 50 * kSecond, {8, 0, kNull}), At(kUnit, kTen + 5 * kSecond, {1, 0, 10})}));
    }
    auto restarted = Open();
    restarted->Write(
        Answers({At(kUnit, kTen + 2 * kHour - kSecond, {4, 0, kNull}),
                 At(kUnit, kTen + 55 * kSecond, {0, 0, 20}), At(kOther, kTen, {100, 100, 100})}));
  }
};

TEST_P(Aggregates, StepsComeFromTheirTiersAsWorkedByHand) {
  WriteDay();
  auto store = Open();
  const std::int64_t end = kTen + 2 * kHour;
  struct Row {
    const char* name;
    int step_s;
    Slot slot;
    std::vector<Expected> expected;
  };
  const std::vector<Row> rows = {
      {"raw",
       0,
       {"total_voltage", 0},
       {{kTen + 5 * kSecond, 1, 1, 1},
        {kTen + 35 * kSecond, 3, 3, 3},
        {kTen + 50 * kSecond, 8, 8, 8},
        {kTen + 55 * kSecond, 0, 0, 0},
        {kTen + 70 * kSecond, 5, 5, 5},
        {end - kSecond, 4, 4, 4}}},
      {"30 s from raw",
       30,
       {"total_voltage", 0},
       {{kTen, 1, 1, 1},
        {kTen + 30 * kSecond, 11.0 / 3, 0, 8},
        {kTen + kMinute, 5, 5, 5},
        {end - 30 * kSecond, 4, 4, 4}}},
      {"minute",
       60,
       {"total_voltage", 0},
       {{kTen, 3, 0, 8}, {kTen + kMinute, 5, 5, 5}, {end - kMinute, 4, 4, 4}}},
      {"minute, nulls skipped", 60, {"cell_voltages", 2}, {{kTen, 15, 10, 20}, {kTen + kMinute, 30, 30, 30}}},
      {"five minutes", 300, {"total_voltage", 0}, {{kTen, 3.4, 0, 8}, {end - 5 * kMinute, 4, 4, 4}}},
      {"hour", 3600, {"total_voltage", 0}, {{kTen, 3.4, 0, 8}, {kTen + kHour, 4, 4, 4}}},
      {"hour, nulls skipped", 3600, {"cell_voltages", 2}, {{kTen, 20, 10, 30}}},
      {"two hours", 7200, {"total_voltage", 0}, {{kTen, 3.5, 0, 8}}},
      {"unknown slot", 60, {"soc", 0}, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ExpectPoints(Points(*store, row.step_s, kTen, end - kSecond, row.slot), row.expected);
  }
  // A range inside an interval still gets the whole interval.
  ExpectPoints(Points(*store, 60, kTen + 40 * kSecond, kTen + 41 * kSecond), {{kTen, 3, 0, 8}});
  EXPECT_TRUE(Points(*store, 60, kTen + 3 * kHour, kTen + 4 * kHour).empty());
}

TEST_P(StoreTest, FailedWriteKeepsNothingOfItsBatch) {
  auto store = Open();
  Batch batch = Answers({At(kUnit, kTen, {1, 2, 3}), {kUnit, kTen + kSecond, Layout(), {1, 2}}});
  batch.events.push_back({"kelvo/site-a", kTen, "rack1", 3, R"({"type":"alarm"})"});
  batch.units.push_back({kUnit, true, kTen, R"({"soc":50})", "[]"});
  batch.buses.push_back({"kelvo/site-a", "rack1", "{}", "[]"});
  batch.availability.push_back({kUnit, kTen, true});
  try {
    store->Write(batch);
    FAIL() << "an answer with two numbers for three slots was stored";
  } catch (const StoreError& error) {
    EXPECT_EQ(error.message, "an answer of kelvo/site-a/rack1/3 has 2 numbers for 3 slots");
  }
  auto check = [&](Store& s) {
    EXPECT_TRUE(s.LoadUnits().empty());
    EXPECT_TRUE(s.LoadBuses().empty());
    EXPECT_TRUE(Points(s, 0, kTen - kDay, kTen + kDay).empty());
    EXPECT_TRUE(Points(s, 60, kTen - kDay, kTen + kDay).empty());
    int events = 0;
    s.Events(kTen - kDay, kTen + kDay, std::nullopt, std::nullopt, std::nullopt, [&](const Event&) {
      ++events;
      return true;
    });
    EXPECT_EQ(events, 0);
  };
  check(*store);
  check(*Open());
  // The same store writes again, the unit and its layout created anew.
  batch.answers.pop_back();
  store->Write(batch);
  ExpectPoints(Points(*store, 60, kTen, kTen), {{kTen, 1, 1, 1}});
  EXPECT_EQ(store->LoadUnits().size(), 1u);
}

TEST_P(StoreTest, EventsFilteredAndOldestFirst) {
  auto store = Open();
  Batch batch;
  batch.events = {{"kelvo/a", kTen + 3, "rack1", 3, "e3"},
                  {"kelvo/a", kTen + 1, "rack1", std::nullopt, "e1"},
                  {"kelvo/b", kTen + 2, "rack1", 3, "e2"},
                  {"kelvo/a", kTen + 1, "rack2", 3, "e1b"},
                  {"kelvo/a", kTen + 9, "rack1", 3, "late"}};
  store->Write(batch);
  auto events = [&](std::optional<std::string> prefix, std::optional<std::string> bus,
                    std::optional<int> address, std::int64_t to = kTen + 5, int most = 100) {
    std::string seen;
    store->Events(kTen, to, prefix, bus, address, [&](const Event& event) {
      seen += event.json + (event.address ? "@" + std::to_string(*event.address) : "") + " ";
      return --most > 0;
    });
    return seen;
  };
  EXPECT_EQ(events(std::nullopt, std::nullopt, std::nullopt), "e1 e1b@3 e2@3 e3@3 ");
  EXPECT_EQ(events("kelvo/a", std::nullopt, std::nullopt), "e1 e1b@3 e3@3 ");
  EXPECT_EQ(events("kelvo/a", "rack1", std::nullopt), "e1 e3@3 ");
  EXPECT_EQ(events("kelvo/a", "rack1", 3, kTen + 9), "e3@3 late@3 ");
  EXPECT_EQ(events(std::nullopt, std::nullopt, std::nullopt, kTen + 9, 2), "e1 e1b@3 ");
}

TEST_P(StoreTest, UnitAndBusStatesAreReplaced) {
  auto store = Open();
  Batch first;
  first.units = {{kUnit, std::nullopt, 0, "{}", "[]"}, {kOther, false, kTen, R"({"soc":1})", R"(["a"])"}};
  first.buses = {{"kelvo/a", "", "null", "[]"}, {"kelvo/a", "rack1", R"({"soc":5})", "[]"}};
  store->Write(first);
  Batch second;
  second.units = {{kUnit, true, kTen + 1, R"({"soc":2})", "[]"}};
  second.buses = {{"kelvo/a", "", R"({"soc":7})", R"(["bus_down"])"}};
  store->Write(second);

  const auto units = Open()->LoadUnits();
  ASSERT_EQ(units.size(), 2u);
  EXPECT_EQ(units[0].unit, kUnit);
  EXPECT_EQ(units[0].online, std::optional<bool>(true));
  EXPECT_EQ(units[0].last_seen_ms, kTen + 1);
  EXPECT_EQ(units[0].values_json, R"({"soc":2})");
  EXPECT_EQ(units[1].unit, kOther);
  EXPECT_EQ(units[1].online, std::optional<bool>(false));
  EXPECT_EQ(units[1].alarms_json, R"(["a"])");
  const auto buses = store->LoadBuses();
  ASSERT_EQ(buses.size(), 2u);
  EXPECT_EQ(buses[0].bus, "");
  EXPECT_EQ(buses[0].bank_json, R"({"soc":7})");
  EXPECT_EQ(buses[0].alarms_json, R"(["bus_down"])");
  EXPECT_EQ(buses[1].bank_json, R"({"soc":5})");
}

TEST_P(StoreTest, PruneKeepsWhatTheRetentionSays) {
  auto store = Open({2, 3});
  const std::int64_t now = kTen + 10 * kDay;
  Batch batch = Answers({At(kUnit, now - 3 * kHour, {1, 0, 0}), At(kUnit, now - 90 * kMinute, {2, 0, 0}),
                         At(kUnit, now - 4 * kDay, {3, 0, 0}), At(kUnit, now - kDay, {4, 0, 0})});
  batch.events = {{"kelvo/a", now - 4 * kDay, "rack1", 3, "old"},
                  {"kelvo/a", now - kDay, "rack1", 3, "kept"}};
  store->Write(batch);
  store->Prune(now);

  ExpectPoints(Points(*store, 0, 0, now), {{now - 90 * kMinute, 2, 2, 2}});
  ExpectPoints(Points(*store, 60, 0, now),
               {{now - kDay, 4, 4, 4}, {now - 3 * kHour, 1, 1, 1}, {now - 90 * kMinute, 2, 2, 2}});
  ExpectPoints(Points(*store, 3600, 0, now), {{now - 4 * kDay, 3, 3, 3},
                                              {now - kDay, 4, 4, 4},
                                              {now - 3 * kHour, 1, 1, 1},
                                              {now - 2 * kHour, 2, 2, 2}});
  std::string events;
  store->Events(0, now, std::nullopt, std::nullopt, std::nullopt, [&](const Event& event) {
    events += event.json;
    return true;
  });
  EXPECT_EQ(events, "kept");
}

std::string Name(const testing::TestParamInfo<std::string>& info) {
  return info.param;
}

#ifdef KVZ_TEST_POSTGRES
#define KVZ_ENGINES testing::Values("sqlite", "postgresql")
#else
#define KVZ_ENGINES testing::Values("sqlite")
#endif
INSTANTIATE_TEST_SUITE_P(Engines, StoreTest, KVZ_ENGINES, Name);
INSTANTIATE_TEST_SUITE_P(Engines, Aggregates, KVZ_ENGINES, Name);

TEST(SqliteStore, UnusablePathIsNamed) {
  try {
    (void)OpenStore("sqlite:///etc/passwd/site.db", "", {});
    FAIL() << "opened a database under a file";
  } catch (const StoreError& error) {
    EXPECT_EQ(error.message, "cannot open /etc/passwd/site.db: not a directory");
  }
}

TEST(StoreUrl, PartsAndRefusals) {
  const auto pg = std::get<PostgresUrl>(ParseStoreUrl("postgresql://kelvo@db.local:5433/site"));
  EXPECT_EQ(pg.user, "kelvo");
  EXPECT_EQ(pg.host, "db.local");
  EXPECT_EQ(pg.port, 5433);
  EXPECT_EQ(pg.database, "site");
  EXPECT_EQ(std::get<PostgresUrl>(ParseStoreUrl("postgresql://k@[::1]:7/d")).host, "::1");
  EXPECT_EQ(std::get<PostgresUrl>(ParseStoreUrl("postgresql://k@h/d")).port, 5432);
  EXPECT_EQ(std::get<SqliteUrl>(ParseStoreUrl("sqlite:///var/lib/kelvo-site/site.db")).path,
            "/var/lib/kelvo-site/site.db");
  for (const char* bad : {"sqlite://relative.db", "postgresql://k:secret@h:1/d", "postgresql://h:1/d",
                          "postgresql://k@h:99999/d", "postgresql://k@h:1", "mysql://k@h/d"}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW((void)ParseStoreUrl(bad), StoreError);
  }
}

// 10:00:00 to 11:23:19 is 4,999 seconds; retention 24 h raw, 30 days minutes.
TEST(HistoryStep, ChosenAndChecked) {
  const Retention retention{24, 30};
  const std::int64_t now = kTen + kDay;
  struct Row {
    const char* name;
    std::int64_t from, to;
    int step;
  };
  const std::vector<Row> rows = {
      {"raw within 5000 points", kTen + 1, kTen + 5000 * kSecond, 0},
      {"5001 seconds: minutes", kTen, kTen + 5000 * kSecond, 60},
      {"older than raw_hours: minutes", now - kDay - 1, now - kDay + kMinute, 60},
      {"5000 minutes", kTen, kTen + 4999 * kMinute, 60},
      {"5001 minutes: hours", kTen, kTen + 5000 * kMinute, 3600},
      {"older than minute_days: hours", now - 31 * kDay, now - 31 * kDay + kHour, 3600},
      {"5000 hours", kTen, kTen + 4999 * kHour, 3600},
      {"5001 hours: two", kTen, kTen + 5000 * kHour, 7200},
      {"ten years", kTen, kTen + 3650 * kDay, 18 * 3600},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(ChooseStep(row.from, row.to, now, retention), row.step);
    EXPECT_EQ(CheckStep(row.from, row.to, row.step), std::nullopt);
  }
  EXPECT_EQ(CheckStep(kTen, kTen + 7 * kDay, 60), "step 60 gives 10081 points over this range, at most 5000");
  EXPECT_EQ(CheckStep(kTen, kTen + 7 * kDay, 7200), std::nullopt);
  EXPECT_NE(CheckStep(kTen, kTen + 1, -60), std::nullopt);
}

}  // namespace
}  // namespace kelvo_site
