// The gateway's figures that need no broker: energy counters, their state
// file, and bank sums, against figures worked out by hand.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "gateway/bank_figures.h"
#include "gateway/energy_counter.h"
#include "gateway/energy_state.h"

namespace kelvo_gateway {
namespace {

using Clock = std::chrono::system_clock;
using std::chrono::milliseconds;

TEST(GatewayEnergy, IntegratesPowerBetweenAnswers) {
  struct Point {
    int at_ms;
    double watts;
  };
  const struct {
    const char* name;
    std::vector<Point> points;
    double charged_wh;
    double discharged_wh;
  } rows[] = {
      {"steady charge, 1 s at 3600 W", {{0, 3600}, {1000, 3600}}, 1.0, 0},
      {"ramp down while discharging", {{0, -1800}, {2000, -3600}}, 0, 1.5},
      {"through zero: a triangle each way", {{0, 3600}, {2000, -3600}}, 0.5, 0.5},
      {"a gap longer than three intervals is not bridged", {{0, 3600}, {3001, 3600}}, 0, 0},
      {"three intervals exactly still count", {{0, 3600}, {3000, 3600}}, 3.0, 0},
      {"a clock set back counts nothing, then goes on from there",
       {{5000, 3600}, {1000, 3600}, {2000, 3600}},
       1.0,
       0},
  };
  for (const auto& row : rows) {
    EnergyCounter counter;
    for (const Point& p : row.points)
      counter.Add(Clock::time_point(milliseconds(p.at_ms)), p.watts, milliseconds(3000));
    EXPECT_NEAR(counter.totals().charged_wh, row.charged_wh, 1e-9) << row.name;
    EXPECT_NEAR(counter.totals().discharged_wh, row.discharged_wh, 1e-9) << row.name;
  }
}

TEST(GatewayEnergy, StateFileRoundTripsAndSurvivesDamage) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("kelvo-energy-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const EnergyTotalsByUnit totals = {{{"rack1", 1}, {12.3456789, 0.5}}, {{"工厂", 255}, {0, 98765.4321}}};

  EXPECT_NE(ReadEnergyState(dir.string()).problem.find("does not exist yet"), std::string::npos);
  ASSERT_EQ(WriteEnergyState(dir.string(), totals), "");
  const EnergyStateRead back = ReadEnergyState(dir.string());
  EXPECT_EQ(back.problem, "");
  EXPECT_EQ(back.totals, totals);
  EXPECT_FALSE(std::filesystem::exists(dir / "energy.json.new"));

  // One unreadable entry costs that unit only.
  std::ofstream(dir / "energy.json")
      << R"({"units":[{"bus":"a","address":1,"energy_charged":2,)"
         R"("energy_discharged":3},{"bus":"b","address":2,"energy_charged":-1,)"
         R"("energy_discharged":0}]})";
  const EnergyStateRead partly = ReadEnergyState(dir.string());
  EXPECT_EQ(partly.totals.size(), 1U);
  EXPECT_NE(partly.problem.find("1 unreadable"), std::string::npos) << partly.problem;

  // A file cut short: reported, kept aside, counters from 0.
  std::ofstream(dir / "energy.json", std::ios::trunc) << R"({"units":[{"bus":"a",)";
  const EnergyStateRead cut = ReadEnergyState(dir.string());
  EXPECT_TRUE(cut.totals.empty());
  EXPECT_NE(cut.problem.find("energy.json.corrupt"), std::string::npos) << cut.problem;
  EXPECT_TRUE(std::filesystem::exists(dir / "energy.json.corrupt"));

  EXPECT_NE(WriteEnergyState((dir / "absent").string(), totals).find("cannot write"), std::string::npos);
  std::filesystem::remove_all(dir);
}

using kelvo_profile::ProfileValue;
using kelvo_profile::ValueKind;

ProfileValue Number(std::string_view key, double n, int decimals) {
  return {key, ValueKind::Number, n, {}, {}, decimals};
}
ProfileValue Numbers(std::string_view key, std::vector<double> n, int decimals) {
  return {key, ValueKind::Numbers, 0, std::move(n), {}, decimals};
}

TEST(GatewayBank, SumsFreshUnitsOnly) {
  const UnitKey a{"rack1", 1};
  const UnitKey b{"rack1", 2};
  const UnitKey stale{"rack1", 3};
  const UnitKey silent{"rack1", 4};
  const BankInputs in_a = BankInputsOf(std::vector<ProfileValue>{
      Number("remaining_capacity", 30.25, 2), Number("full_capacity", 50, 2), Number("current", -10.5, 2),
      Number("power", -525.5, 4), Numbers("cell_voltages", {3.2, 3.1, 3.3}, 3),
      Numbers("temperatures", {25, 30}, 0)});
  const BankInputs in_b = BankInputsOf(std::vector<ProfileValue>{
      Number("remaining_capacity", 9.75, 2), Number("full_capacity", 50, 2), Number("current", 5.25, 2),
      Number("power", 262.5, 4), Numbers("cell_voltages", {3.0, 3.4, 3.0}, 3)});
  // Its figures would win every extreme, were it fresh.
  const BankInputs in_stale = BankInputsOf(
      std::vector<ProfileValue>{Number("remaining_capacity", 1, 2), Number("full_capacity", 100, 2),
                                Numbers("cell_voltages", {2.5}, 3), Numbers("temperatures", {70}, 0)});
  const BankMember members[] = {
      {&a, &in_a, true}, {&b, &in_b, true}, {&stale, &in_stale, false}, {&silent, nullptr, false}};

  const nlohmann::ordered_json bank = BankJson("T", members);
  EXPECT_EQ(bank.dump(),
            R"({"time":"T","units":4,"fresh":2,"soc":40.0,"remaining_capacity":40.0,"full_capacity":100.0,)"
            R"("current":-5.25,"power":-263.0,)"
            R"("cell_min":{"value":3.0,"bus":"rack1","address":2,"cell":1},)"
            R"("cell_max":{"value":3.4,"bus":"rack1","address":2,"cell":2},)"
            R"("temperature_min":{"value":25,"bus":"rack1","address":1,"sensor":1},)"
            R"("temperature_max":{"value":30,"bus":"rack1","address":1,"sensor":2}})");

  const BankMember none_fresh[] = {{&stale, &in_stale, false}, {&silent, nullptr, false}};
  EXPECT_EQ(BankJson("T", none_fresh).dump(),
            R"({"time":"T","units":2,"fresh":0,"soc":null,"remaining_capacity":null,"full_capacity":null,)"
            R"("current":null,"power":null,"cell_min":null,"cell_max":null,"temperature_min":null,)"
            R"("temperature_max":null})");
}

}  // namespace
}  // namespace kelvo_gateway
