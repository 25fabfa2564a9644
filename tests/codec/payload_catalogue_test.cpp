#include "codec/payload_catalogue.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "gbk.h"

namespace {

using codec::FieldKind;
using codec::FindFieldLayout;
using enum codec::FieldKind;

struct Field {
  FieldKind kind;
  std::string_view label;  // UTF-8
};

struct Layout {
  std::int32_t command;
  std::vector<Field> fields;
};

// The layouts as the protocol's field lists give them, labels in UTF-8.
const Layout kLayouts[] = {
    {0x42, {{Fixed4, "上位机时间"}}},
    {0x48, {{Fixed4, "命令版本号"}, {Fixed4, "上位机时间"}, {Fixed2, "客户端类型"}}},
    {0x65, {{Fixed2, "寄存器地址"}}},
    {0x66, {{Fixed1, "寄存器地址个数"}, {Array2, "寄存器地址数组"}}},
    {0xC2, {{Fixed4, "设备时间"},         {Fixed2, "工作循环耗时"},       {Fixed1, "SOH"},
            {Fixed2, "总电压"},           {Fixed1, "单体串联个数"},       {Array2, "单体电压数组"},
            {Fixed2, "当前充电电流"},     {Fixed2, "当前放电电流"},       {Fixed1, "温度传感器个数"},
            {Array1, "传感器温度数组"},   {Fixed2, "温度传感器保护状态"}, {Fixed2, "电压状态"},
            {Fixed2, "电流状态"},         {Fixed2, "温度状态"},           {Fixed2, "报警状态"},
            {Fixed1, "MOS状态"},          {Fixed2, "单体过充保护状态"},   {Fixed2, "单体过放保护状态"},
            {Fixed2, "单体过充报警状态"}, {Fixed2, "单体过放报警状态"},   {Fixed2, "单体均衡状态"},
            {Fixed2, "放电次数"},         {Fixed2, "充电次数"},           {Fixed1, "电池容量百分比"},
            {Fixed2, "电池当前容量"},     {Fixed2, "电池满充容量"},       {Fixed2, "电池学习容量"},
            {Fixed2, "电池充电总量"},     {Fixed2, "电池放电总量"}}},
    {0xC8,
     {{Fixed4, "命令版本号"},
      {Fixed1, "单体串联个数"},
      {Fixed4, "CPU序列号3"},
      {Fixed4, "CPU序列号2"},
      {Fixed4, "CPU序列号1"},
      {Fixed4, "CPU序列号0"},
      {Prefixed, "应用版本"},
      {Prefixed, "服务序列号"},
      {Prefixed, "工厂名称"},
      {Prefixed, "主板名称"},
      {Prefixed, "发布日期"},
      {Fixed1, "服务序列号自校验"},
      {Fixed4, "生产日期"},
      {Fixed4, "电池初始化时间"},
      {Fixed4, "能力集"},
      {Fixed4, "设备当前时间"},
      {Fixed4, "设备重启次数"},
      {Fixed4, "设备最后重启时间"},
      {Fixed2, "设备设计容量"}}},
    {0xE5, {{Fixed2, "寄存器地址"}, {Fixed2, "寄存器值"}}},
    {0xE6, {{Fixed1, "返回寄存器数据个数"}, {Array4, "寄存器地址值数组"}}},
};

TEST(FindFieldLayout, EveryLayoutFieldByField) {
  for (const Layout& expected : kLayouts) {
    const auto layout = FindFieldLayout(expected.command);
    ASSERT_TRUE(layout.has_value()) << std::hex << expected.command;
    ASSERT_EQ(layout->size(), expected.fields.size()) << std::hex << expected.command;
    for (std::size_t i = 0; i < layout->size(); ++i) {
      SCOPED_TRACE(testing::Message()
                   << std::hex << "command " << expected.command << std::dec << " field " << i + 1);
      EXPECT_EQ((*layout)[i].kind, expected.fields[i].kind);
      // Decoded independently, so that a label with wrong bytes cannot pass.
      EXPECT_EQ(codec_test::GbkToUtf8((*layout)[i].label), expected.fields[i].label);
    }
  }
}

TEST(FindFieldLayout, OnlyTheEightCodesMatch) {
  int found = 0;
  for (std::int32_t command = -300; command <= 0x1FF; ++command)
    found += FindFieldLayout(command).has_value();
  EXPECT_EQ(found, 8);
  for (const std::int32_t command : {0, 0x43, 0xC3, 0x142, 0x1C2, -1, -0x3E, INT32_MIN, INT32_MAX}) {
    EXPECT_FALSE(FindFieldLayout(command).has_value()) << command;
  }
}

}  // namespace
