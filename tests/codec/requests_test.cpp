#include "codec/requests.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace codec {
namespace {

// 2023-11-14 22:13:20 UTC, 0x6553F100.
constexpr std::time_t kHostTime = 1700000000;

TEST(Requests, BuildersWriteTheFramesWorkedOutByHand) {
  const std::vector<std::uint16_t> three = {0x0026, 0x0027, 0xFFFF};
  const std::vector<std::uint16_t> most(28, 0x0000);
  const struct {
    const char* name;
    BuiltRequest built;
    std::string frame;
  } rows[] = {
      {"status", StatusRequest(0, kHostTime), "<1530042086553F10041>"},
      {"status, highest address, clock at zero", StatusRequest(255, 0), "<153FF42080000000065>"},
      {"device information", DeviceInfoRequest(1, kHostTime), "<213014814000000016553F100000120>"},
      {"one register, the window's default", RegisterRequest(0, 0x0026), "<11300650400268D>"},
      {"one register, four digits", RegisterRequest(7, 0xABCD), "<113076504ABCD10>"},
      {"three registers in order", RegistersRequest(2, three), "<1B302660E0300260027FFFFA6>"},
      // Count 1C, then 28 registers 0000: the answer takes 239 characters.
      {"the most registers", RegistersRequest(3, most), "<7F30366721C" + std::string(112, '0') + "82>"},
  };
  for (const auto& row : rows) {
    EXPECT_TRUE(row.built.ok()) << row.name;
    EXPECT_EQ(row.built.frame, row.frame) << row.name;
  }
}

TEST(Requests, RefusalsCarryTheirFault) {
  const std::vector<std::uint16_t> none;
  const std::vector<std::uint16_t> one_too_many(29, 0x0026);
  const struct {
    const char* name;
    BuiltRequest built;
    RequestFault fault;
  } rows[] = {
      {"address above one byte", StatusRequest(256, kHostTime), RequestFault::AddressOutOfRange},
      {"negative address", DeviceInfoRequest(-1, kHostTime), RequestFault::AddressOutOfRange},
      {"register of a negative address", RegisterRequest(-1, 0x26), RequestFault::AddressOutOfRange},
      {"no register", RegistersRequest(0, none), RequestFault::RegisterCount},
      {"an answer too long for a frame", RegistersRequest(0, one_too_many), RequestFault::RegisterCount},
      // 228 payload characters: 241 in all.
      {"payload too long", BuildRequest(0, "01", std::string(228, 'A')), RequestFault::TooLong},
  };
  for (const auto& row : rows) {
    EXPECT_FALSE(row.built.ok()) << row.name;
    EXPECT_EQ(row.built.fault, row.fault) << row.name;
    EXPECT_TRUE(row.built.frame.empty()) << row.name;
    EXPECT_FALSE(RequestFaultText(row.fault).empty()) << row.name;
  }
  // 227 characters make the longest frame the builder writes.
  EXPECT_EQ(BuildRequest(0, "01", std::string(227, 'A')).frame.size(), 240u);
}

TEST(Requests, HostTimeIsTheLowThirtyTwoBitsInEightDigits) {
  EXPECT_EQ(HostTimeHex(0), "00000000");
  EXPECT_EQ(HostTimeHex(kHostTime), "6553F100");
  EXPECT_EQ(HostTimeHex(0xFFFFFFFF), "FFFFFFFF");
  EXPECT_EQ(HostTimeHex(static_cast<std::time_t>(0x1'0000'0001LL)), "00000001");
}

TEST(Requests, EveryAnswerIsItsRequestWithBitSeven) {
  EXPECT_EQ(AnswerCode(Command::Status), 0xC2);
  EXPECT_EQ(AnswerCode(Command::DeviceInfo), 0xC8);
  EXPECT_EQ(AnswerCode(Command::ReadRegister), 0xE5);
  EXPECT_EQ(AnswerCode(Command::ReadRegisters), 0xE6);
  EXPECT_EQ(CommandHex(Command::ReadRegisters), "66");
}

}  // namespace
}  // namespace codec
