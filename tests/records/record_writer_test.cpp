#include "records/record_writer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <nlohmann/json.hpp>
#include <string>

#include "profile/profile.h"
#include "records/latency_histogram.h"
#include "records/record_time.h"

namespace {

using kelvo_records::Record;
using kelvo_records::RecordFormat;
using kelvo_records::RecordWriter;

// 2026-12-09T01:34:44.123Z
const auto kTime = std::chrono::system_clock::time_point(std::chrono::milliseconds(1796780084123));

// Worked answers (check values by hand): 0xE6 from address 7 with two, one and
// three register values; 0xC8 from address 2 whose application version is "V1".
const std::string kE6Two = "<1F307E612020026123400275678DF>";
const std::string kE6One = "<17307E60A010026123402>";
const std::string kE6Three = "<27307E61A030026123400275678123456785A>";
const std::string kC8 =
    "<7B302C86E0000000110000000000000000000000000000000000256310000000001000000000000000000000000000000000000"
    "000000000000138864>";

// A 0xC2 answer of the simulated unit at address 0: 52.54 V, 18.00 A
// discharging, 16 cells, 4 sensors.
const std::string kC2 =
    "<BB300C2AE6B19623400C8611486100CCF0CD60CD20CD90CD50CD10CD80CD40CD00CD70CD30CCF0CD60CD20CD90CD50000070804"
    "4445464400000000000200000000030000000000000000000000780077500F2812F212D416A816BC70>";

// Reads the register array in thousandths of an "x"; leaves the count alone.
const char kRegisterProfile[] =
    "[field.registers]\nlabel = \"寄存器地址值数组\"\nunit = \"x\"\nscale = 0.001\n";

kelvo_profile::Profile MustParse(const std::string& text) {
  kelvo_profile::ProfileLoad load = kelvo_profile::ParseProfile(text, "test.toml");
  if (!load.profile) throw std::runtime_error(load.error->text);
  return std::move(*load.profile);
}

class LocalZone {
 public:
  explicit LocalZone(const char* tz) {
    if (const char* old = std::getenv("TZ")) saved_ = old;
    setenv("TZ", tz, 1);
    tzset();
  }
  ~LocalZone() {
    if (saved_.empty()) {
      unsetenv("TZ");
    } else {
      setenv("TZ", saved_.c_str(), 1);
    }
    tzset();
  }

 private:
  std::string saved_;
};

TEST(FormatTimeTest, LocalTimeWithOffset) {
  const struct {
    const char* tz;
    std::chrono::milliseconds since_epoch;
    const char* text;
  } rows[] = {
      {"UTC0", std::chrono::milliseconds(1796780084123), "2026-12-09T01:34:44.123+00:00"},
      {"CST-8", std::chrono::milliseconds(1796780084123), "2026-12-09T09:34:44.123+08:00"},
      {"<-0330>3:30", std::chrono::milliseconds(1796780084005), "2026-12-08T22:04:44.005-03:30"},
      // Before 1970 the milliseconds still count up within their second.
      {"UTC0", std::chrono::milliseconds(-1), "1969-12-31T23:59:59.999+00:00"},
  };
  for (const auto& row : rows) {
    const LocalZone zone(row.tz);
    EXPECT_EQ(kelvo_records::FormatTime(std::chrono::system_clock::time_point(row.since_epoch)), row.text)
        << row.tz;
  }
}

TEST(RecordWriterTest, CsvColumnsFixedByTheFirstAnswer) {
  const LocalZone zone("UTC0");
  RecordWriter writer(RecordFormat::Csv);
  EXPECT_EQ(writer.Lines({kTime, 7, kE6Two, 1.5}),
            "time,address,返回寄存器数据个数,寄存器地址值数组[1],寄存器地址值数组[2]\n"
            "2026-12-09T01:34:44.123+00:00,7,2,2495028,2578040\n");
  // Fewer elements: empty cells; more: the header cannot grow, so they stay out.
  EXPECT_EQ(writer.Lines({kTime, 7, kE6One, 1.5}), "2026-12-09T01:34:44.123+00:00,7,1,2495028,\n");
  EXPECT_EQ(writer.Lines({kTime, 7, kE6Three, 1.5}), "2026-12-09T01:34:44.123+00:00,7,3,2495028,2578040\n");
}

TEST(RecordWriterTest, CsvTextFieldsAsTheirHex) {
  const LocalZone zone("UTC0");
  RecordWriter writer(RecordFormat::Csv);
  EXPECT_EQ(writer.Lines({kTime, 2, kC8, 0}),
            "time,address,命令版本号,单体串联个数,CPU序列号3,CPU序列号2,CPU序列号1,CPU序列号0,应用版本,"
            "服务序列号,工厂名称,主板名称,发布日期,服务序列号自校验,生产日期,电池初始化时间,能力集,"
            "设备当前时间,设备重启次数,设备最后重启时间,设备设计容量\n"
            "2026-12-09T01:34:44.123+00:00,2,1,16,0,0,0,0,025631,00,00,00,00,1,0,0,0,0,0,0,5000\n");
}

TEST(RecordWriterTest, JsonLine) {
  const LocalZone zone("UTC0");
  RecordWriter writer(RecordFormat::Json);
  const std::string lines = writer.Lines({kTime, 7, kE6Two, 12.3456789});
  ASSERT_EQ(lines.back(), '\n');
  ASSERT_EQ(lines.find('\n'), lines.size() - 1);
  const auto object = nlohmann::ordered_json::parse(lines);
  std::vector<std::string> keys;
  for (const auto& [key, value] : object.items()) keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{"time", "address", "frame", "latency_ms", "items"}));
  EXPECT_EQ(object["time"], "2026-12-09T01:34:44.123+00:00");
  EXPECT_EQ(object["address"], 7);
  EXPECT_EQ(object["frame"], kE6Two);
  EXPECT_EQ(lines.find("\"latency_ms\":12.346,"), lines.find("\"latency_ms\""));
  ASSERT_EQ(object["items"].size(), 10u);
  EXPECT_EQ(object["items"][3], nlohmann::ordered_json({{"value", "07"}, {"label", "地址"}, {"number", 7}}));
  EXPECT_EQ(object["items"][7], nlohmann::ordered_json({{"value", "0026123400275678"},
                                                        {"label", "寄存器地址值数组"},
                                                        {"numbers", {2495028, 2578040}}}));
}

TEST(RecordWriterTest, TextLine) {
  const LocalZone zone("UTC0");
  RecordWriter writer(RecordFormat::Text);
  EXPECT_EQ(writer.Lines({kTime, 7, kE6Two, 3.25}),
            "2026-12-09T01:34:44.123+00:00 address 7 (3.2 ms) 返回寄存器数据个数=2 "
            "寄存器地址值数组=[2495028,2578040]\n");
}

// With a profile, the fields it reads are named KEY[UNIT] and shown in that
// unit; the others keep their labels and raw numbers.
TEST(RecordWriterTest, CsvAndTextWithProfileKeysAndUnits) {
  const LocalZone zone("UTC0");
  const kelvo_profile::Profile profile = MustParse(kRegisterProfile);
  RecordWriter csv(RecordFormat::Csv, &profile);
  EXPECT_EQ(csv.Lines({kTime, 7, kE6Two, 1.5}),
            "time,address,返回寄存器数据个数,registers[1][x],registers[2][x]\n"
            "2026-12-09T01:34:44.123+00:00,7,2,2495.028,2578.040\n");
  EXPECT_EQ(csv.Lines({kTime, 7, kE6One, 1.5}), "2026-12-09T01:34:44.123+00:00,7,1,2495.028,\n");
  RecordWriter text(RecordFormat::Text, &profile);
  EXPECT_EQ(text.Lines({kTime, 7, kE6Two, 3.25}),
            "2026-12-09T01:34:44.123+00:00 address 7 (3.2 ms) 返回寄存器数据个数=2 "
            "registers[x]=[2495.028,2578.040]\n");
}

// "values" comes last, and the record before it stays byte for byte.
TEST(RecordWriterTest, JsonValuesAppendedToTheSameRecord) {
  const LocalZone zone("UTC0");
  const kelvo_profile::ProfileLoad load = kelvo_profile::LoadProfile(KVZ_DEFAULT_PROFILE);
  ASSERT_TRUE(load.profile) << load.error->text;
  const Record record{kTime, 0, kC2, 20.5};
  const std::string plain = kelvo_records::JsonRecord(record);
  const std::string with_values = kelvo_records::JsonRecord(record, &*load.profile);
  ASSERT_EQ(with_values.rfind(plain.substr(0, plain.size() - 1) + ",\"values\":{", 0), 0u) << with_values;
  const auto values = nlohmann::ordered_json::parse(with_values)["values"];
  EXPECT_EQ(values["total_voltage"].dump(), "52.54");
  EXPECT_EQ(values["temperatures"].dump(), "[28,29,30,28]");
  EXPECT_EQ(values["mos_state_flags"].dump(), "[\"charge_switch\",\"discharge_switch\"]");
  EXPECT_EQ(values["power"].dump(), "-945.72");
  EXPECT_EQ(values["cell_max_cell"].dump(), "4");
  // A profile that reads none of an answer's fields adds nothing.
  EXPECT_EQ(kelvo_records::JsonRecord({kTime, 7, kE6Two, 1}, &*load.profile),
            kelvo_records::JsonRecord({kTime, 7, kE6Two, 1}));
}

TEST(LatencyHistogramTest, PercentilesWithinOnePercent) {
  kelvo_records::LatencyHistogram histogram;
  EXPECT_EQ(histogram.Percentile(0.5), 0);
  for (int i = 1; i <= 1000; ++i) histogram.Add(i * 0.1);  // 0.1 ms to 100 ms
  EXPECT_EQ(histogram.count(), 1000u);
  EXPECT_NEAR(histogram.Percentile(0.5), 50.0, 0.5);
  EXPECT_NEAR(histogram.Percentile(0.99), 99.0, 1.0);
  EXPECT_NEAR(histogram.Percentile(1.0), 100.0, 1.0);
  histogram.Add(1e12);  // beyond the last bucket: counted there, not lost
  EXPECT_EQ(histogram.count(), 1001u);
}

}  // namespace
