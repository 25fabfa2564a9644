// Faults: how they are named on the command line, what each does to an
// answer, and that a seed repeats them exactly.
#include "sim/faults.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "codec/frame_breakdown.h"
#include "codec/frame_validation.h"
#include "codec/request_builder.h"
#include "sim/simulated_unit.h"

namespace kelvo_sim {
namespace {

using std::chrono::milliseconds;
const std::chrono::steady_clock::time_point kStart{std::chrono::seconds(1000)};
const std::string kRequest = "<1530042086553F10041>";  // 0x42 to address 0
const std::string kOtherAddress = codec::EncodeRequest(1, "42", "6553F100");

TEST(ParseFault, NamesAndValues) {
  const struct {
    const char* text;
    Faults expect;
  } good[] = {
      {"drop=0.25", {.drop = 0.25}},    {"corrupt=1", {.corrupt = 1}}, {"wrong-address=0", {}},
      {"delay=200", {.delay_ms = 200}}, {"split", {.split = true}},    {"noise", {.noise = true}},
      {"echo", {.echo = true}},
  };
  for (const auto& row : good) {
    Faults faults;
    std::string why;
    ASSERT_TRUE(ParseFault(row.text, faults, &why)) << row.text << ": " << why;
    EXPECT_EQ(faults.drop, row.expect.drop) << row.text;
    EXPECT_EQ(faults.corrupt, row.expect.corrupt) << row.text;
    EXPECT_EQ(faults.wrong_address, row.expect.wrong_address) << row.text;
    EXPECT_EQ(faults.delay_ms, row.expect.delay_ms) << row.text;
    EXPECT_EQ(faults.split, row.expect.split) << row.text;
    EXPECT_EQ(faults.noise, row.expect.noise) << row.text;
    EXPECT_EQ(faults.echo, row.expect.echo) << row.text;
  }

  const struct {
    const char* text;
    const char* reason;
  } bad[] = {
      {"drop", "probability from 0 to 1"},
      {"drop=", "probability from 0 to 1"},
      {"drop=1.5", "probability from 0 to 1"},
      {"drop=-0.1", "probability from 0 to 1"},
      {"drop=nan", "probability from 0 to 1"},
      {"drop=0.5x", "probability from 0 to 1"},
      {"corrupt=1e-1", "probability from 0 to 1"},
      {"delay", "milliseconds"},
      {"delay=-1", "milliseconds"},
      {"delay=abc", "milliseconds"},
      {"delay=60001", "milliseconds"},
      {"split=1", "split takes no value"},
      {"echo=", "echo takes no value"},
      {"jitter", "unknown fault \"jitter\""},
      {"DROP=0.1", "unknown fault"},
      {"", "unknown fault"},
  };
  for (const auto& row : bad) {
    Faults faults;
    std::string why;
    EXPECT_FALSE(ParseFault(row.text, faults, &why)) << row.text;
    EXPECT_NE(why.find(row.reason), std::string::npos) << row.text << ": " << why;
  }
}

std::vector<Delivery> RunWith(std::uint64_t seed, const Faults& faults, int requests) {
  SimulatedUnit unit({0}, {}, seed);
  std::vector<Delivery> out;
  for (int i = 0; i < requests; ++i) {
    out.push_back(
        unit.Deliver(i % 3 == 2 ? kOtherAddress : kRequest, kStart + milliseconds(100 * i), faults));
  }
  return out;
}

bool Same(const std::vector<Delivery>& a, const std::vector<Delivery>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].answer != b[i].answer || a[i].pieces.size() != b[i].pieces.size()) return false;
    for (std::size_t j = 0; j < a[i].pieces.size(); ++j) {
      if (a[i].pieces[j].bytes != b[i].pieces[j].bytes || a[i].pieces[j].gap_ms != b[i].pieces[j].gap_ms) {
        return false;
      }
    }
  }
  return true;
}

TEST(Faults, ASeedRepeatsTheRun) {
  const Faults all{0.3, 0.3, 0.3, 5, true, true, true};
  EXPECT_TRUE(Same(RunWith(42, all, 300), RunWith(42, all, 300)));
  EXPECT_FALSE(Same(RunWith(42, all, 300), RunWith(43, all, 300)));
}

std::string Address(const std::string& frame) {
  return std::string(codec::BreakDownFrame(frame)[3].value);
}

TEST(Faults, EachDoesWhatItSays) {
  using Check = std::function<void(const Delivery&, const std::string& clean)>;
  const auto answered = [](const std::vector<Delivery>& run) {
    int n = 0;
    for (const Delivery& d : run) n += d.answer.has_value();
    return n;
  };
  const struct {
    const char* what;
    Faults faults;
    int answered;  // of 200 requests to the unit's own address; -1: roughly half
    Check check;   // on each answered delivery, with the answer a unit without faults gives
  } rows[] = {
      {"none",
       {},
       200,
       [](const Delivery& d, const std::string& clean) {
         ASSERT_EQ(d.pieces.size(), 1u);
         EXPECT_EQ(d.pieces[0].gap_ms, 0);
         EXPECT_EQ(d.pieces[0].bytes, clean);
         EXPECT_TRUE(d.pieces[0].ends_answer);
       }},
      {"drop=1", {.drop = 1}, 0, nullptr},
      {"drop=0.5", {.drop = 0.5}, -1, nullptr},
      {"corrupt=1",
       {.corrupt = 1},
       200,
       [](const Delivery& d, const std::string& clean) {
         const auto findings = codec::ValidateFrame(*d.answer);
         ASSERT_EQ(findings.size(), 1u);
         EXPECT_EQ(findings[0].fault, codec::FrameFault::CheckValue);
         EXPECT_EQ(d.answer->substr(0, d.answer->size() - 3), clean.substr(0, clean.size() - 3));
       }},
      {"wrong-address=1",
       {.wrong_address = 1},
       200,
       [](const Delivery& d, const std::string&) {
         EXPECT_TRUE(codec::ValidateFrame(*d.answer).empty());
         EXPECT_NE(Address(*d.answer), "00");
       }},
      {"delay=250",
       {.delay_ms = 250},
       200,
       [](const Delivery& d, const std::string& clean) {
         ASSERT_EQ(d.pieces.size(), 1u);
         EXPECT_EQ(d.pieces[0].gap_ms, 250);
         EXPECT_EQ(d.pieces[0].bytes, clean);
       }},
      {"split",
       {.split = true},
       200,
       [](const Delivery& d, const std::string& clean) {
         ASSERT_GE(d.pieces.size(), 2u);
         ASSERT_LE(d.pieces.size(), 4u);
         std::string whole;
         for (std::size_t i = 0; i < d.pieces.size(); ++i) {
           whole += d.pieces[i].bytes;
           EXPECT_EQ(d.pieces[i].ends_answer, i + 1 == d.pieces.size());
           const int gap = d.pieces[i].gap_ms;
           EXPECT_TRUE(i == 0 ? gap == 0 : gap >= 1 && gap <= 20) << "gap " << gap;
         }
         EXPECT_EQ(whole, clean);
       }},
      {"noise",
       {.noise = true},
       200,
       [](const Delivery& d, const std::string& clean) {
         ASSERT_EQ(d.pieces.size(), 2u);
         EXPECT_GE(d.pieces[0].bytes.size(), 1u);
         EXPECT_LE(d.pieces[0].bytes.size(), 8u);
         EXPECT_EQ(d.pieces[0].bytes.find('<'), std::string::npos);
         EXPECT_EQ(d.pieces[1].bytes, clean);
       }},
      {"echo",
       {.echo = true},
       200,
       [](const Delivery& d, const std::string& clean) {
         ASSERT_EQ(d.pieces.size(), 2u);
         EXPECT_EQ(d.pieces[0].bytes, kRequest);
         EXPECT_EQ(d.pieces[1].bytes, clean);
       }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    SimulatedUnit unit({0}, {}, 9);
    SimulatedUnit clean_unit({0}, {}, 9);
    std::vector<Delivery> run;
    for (int i = 0; i < 200; ++i) {
      const auto now = kStart + milliseconds(700 * i);
      run.push_back(unit.Deliver(kRequest, now, row.faults));
      const std::string clean = *clean_unit.Answer(kRequest, now);
      if (row.check && run.back().answer) row.check(run.back(), clean);
    }
    if (row.answered >= 0) {
      EXPECT_EQ(answered(run), row.answered);
    } else {
      EXPECT_NEAR(answered(run), 100, 30);
    }
  }
}

TEST(Faults, EchoEvenWhenTheRequestIsNotOurs) {
  SimulatedUnit unit({0}, {}, 9);
  const Delivery d = unit.Deliver(kOtherAddress, kStart, {.echo = true});
  ASSERT_EQ(d.pieces.size(), 1u);
  EXPECT_EQ(d.pieces[0].bytes, kOtherAddress);
  EXPECT_FALSE(d.answer);
}

}  // namespace
}  // namespace kelvo_sim
