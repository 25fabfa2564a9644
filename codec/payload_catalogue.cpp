#include "codec/payload_catalogue.h"

#include <algorithm>
#include <array>

#include "codec/frame_breakdown.h"

namespace codec {
namespace {

using enum FieldKind;

// Labels are GBK bytes; the readable text stands beside each.
constexpr std::string_view kHostTime = "\xC9\xCF\xCE\xBB\xBB\xFA\xCA\xB1\xBC\xE4";        // 上位机时间
constexpr std::string_view kCommandVersion = "\xC3\xFC\xC1\xEE\xB0\xE6\xB1\xBE\xBA\xC5";  // 命令版本号
constexpr std::string_view kCellsInSeries =
    "\xB5\xA5\xCC\xE5\xB4\xAE\xC1\xAA\xB8\xF6\xCA\xFD";  // 单体串联个数
constexpr std::string_view kRegisterAddress = "\xBC\xC4\xB4\xE6\xC6\xF7\xB5\xD8\xD6\xB7";  // 寄存器地址

constexpr std::array<FieldDescriptor, 1> kLayout42{{
    {Fixed4, kHostTime},
}};

constexpr std::array<FieldDescriptor, 3> kLayout48{{
    {Fixed4, kCommandVersion},
    {Fixed4, kHostTime},
    {Fixed2, "\xBF\xCD\xBB\xA7\xB6\xCB\xC0\xE0\xD0\xCD"},  // 客户端类型
}};

constexpr std::array<FieldDescriptor, 1> kLayout65{{
    {Fixed2, kRegisterAddress},
}};

constexpr std::array<FieldDescriptor, 2> kLayout66{{
    {Fixed1, "\xBC\xC4\xB4\xE6\xC6\xF7\xB5\xD8\xD6\xB7\xB8\xF6\xCA\xFD"},  // 寄存器地址个数
    {Array2, "\xBC\xC4\xB4\xE6\xC6\xF7\xB5\xD8\xD6\xB7\xCA\xFD\xD7\xE9"},  // 寄存器地址数组
}};

constexpr std::array<FieldDescriptor, 29> kLayoutC2{{
    {Fixed4, "\xC9\xE8\xB1\xB8\xCA\xB1\xBC\xE4"},                          // 设备时间
    {Fixed2, "\xB9\xA4\xD7\xF7\xD1\xAD\xBB\xB7\xBA\xC4\xCA\xB1"},          // 工作循环耗时
    {Fixed1, "SOH"},                                                       // SOH
    {Fixed2, "\xD7\xDC\xB5\xE7\xD1\xB9"},                                  // 总电压
    {Fixed1, kCellsInSeries},                                              // 单体串联个数
    {Array2, "\xB5\xA5\xCC\xE5\xB5\xE7\xD1\xB9\xCA\xFD\xD7\xE9"},          // 单体电压数组
    {Fixed2, "\xB5\xB1\xC7\xB0\xB3\xE4\xB5\xE7\xB5\xE7\xC1\xF7"},          // 当前充电电流
    {Fixed2, "\xB5\xB1\xC7\xB0\xB7\xC5\xB5\xE7\xB5\xE7\xC1\xF7"},          // 当前放电电流
    {Fixed1, "\xCE\xC2\xB6\xC8\xB4\xAB\xB8\xD0\xC6\xF7\xB8\xF6\xCA\xFD"},  // 温度传感器个数
    {Array1, "\xB4\xAB\xB8\xD0\xC6\xF7\xCE\xC2\xB6\xC8\xCA\xFD\xD7\xE9"},  // 传感器温度数组
    {Fixed2,
     "\xCE\xC2\xB6\xC8\xB4\xAB\xB8\xD0\xC6\xF7\xB1\xA3\xBB\xA4\xD7\xB4\xCC\xAC"},  // 温度传感器保护状态
    {Fixed2, "\xB5\xE7\xD1\xB9\xD7\xB4\xCC\xAC"},                                  // 电压状态
    {Fixed2, "\xB5\xE7\xC1\xF7\xD7\xB4\xCC\xAC"},                                  // 电流状态
    {Fixed2, "\xCE\xC2\xB6\xC8\xD7\xB4\xCC\xAC"},                                  // 温度状态
    {Fixed2, "\xB1\xA8\xBE\xAF\xD7\xB4\xCC\xAC"},                                  // 报警状态
    {Fixed1, "MOS\xD7\xB4\xCC\xAC"},                                               // MOS状态
    {Fixed2, "\xB5\xA5\xCC\xE5\xB9\xFD\xB3\xE4\xB1\xA3\xBB\xA4\xD7\xB4\xCC\xAC"},  // 单体过充保护状态
    {Fixed2, "\xB5\xA5\xCC\xE5\xB9\xFD\xB7\xC5\xB1\xA3\xBB\xA4\xD7\xB4\xCC\xAC"},  // 单体过放保护状态
    {Fixed2, "\xB5\xA5\xCC\xE5\xB9\xFD\xB3\xE4\xB1\xA8\xBE\xAF\xD7\xB4\xCC\xAC"},  // 单体过充报警状态
    {Fixed2, "\xB5\xA5\xCC\xE5\xB9\xFD\xB7\xC5\xB1\xA8\xBE\xAF\xD7\xB4\xCC\xAC"},  // 单体过放报警状态
    {Fixed2, "\xB5\xA5\xCC\xE5\xBE\xF9\xBA\xE2\xD7\xB4\xCC\xAC"},                  // 单体均衡状态
    {Fixed2, "\xB7\xC5\xB5\xE7\xB4\xCE\xCA\xFD"},                                  // 放电次数
    {Fixed2, "\xB3\xE4\xB5\xE7\xB4\xCE\xCA\xFD"},                                  // 充电次数
    {Fixed1, "\xB5\xE7\xB3\xD8\xC8\xDD\xC1\xBF\xB0\xD9\xB7\xD6\xB1\xC8"},          // 电池容量百分比
    {Fixed2, "\xB5\xE7\xB3\xD8\xB5\xB1\xC7\xB0\xC8\xDD\xC1\xBF"},                  // 电池当前容量
    {Fixed2, "\xB5\xE7\xB3\xD8\xC2\xFA\xB3\xE4\xC8\xDD\xC1\xBF"},                  // 电池满充容量
    {Fixed2, "\xB5\xE7\xB3\xD8\xD1\xA7\xCF\xB0\xC8\xDD\xC1\xBF"},                  // 电池学习容量
    {Fixed2, "\xB5\xE7\xB3\xD8\xB3\xE4\xB5\xE7\xD7\xDC\xC1\xBF"},                  // 电池充电总量
    {Fixed2, "\xB5\xE7\xB3\xD8\xB7\xC5\xB5\xE7\xD7\xDC\xC1\xBF"},                  // 电池放电总量
}};

// Field 2 is a count shown for its own sake: no array follows it.
constexpr std::array<FieldDescriptor, 19> kLayoutC8{{
    {Fixed4, kCommandVersion},                                                     // 命令版本号
    {Fixed1, kCellsInSeries},                                                      // 单体串联个数
    {Fixed4, "CPU\xD0\xF2\xC1\xD0\xBA\xC5\x33"},                                   // CPU序列号3
    {Fixed4, "CPU\xD0\xF2\xC1\xD0\xBA\xC5\x32"},                                   // CPU序列号2
    {Fixed4, "CPU\xD0\xF2\xC1\xD0\xBA\xC5\x31"},                                   // CPU序列号1
    {Fixed4, "CPU\xD0\xF2\xC1\xD0\xBA\xC5\x30"},                                   // CPU序列号0
    {Prefixed, "\xD3\xA6\xD3\xC3\xB0\xE6\xB1\xBE"},                                // 应用版本
    {Prefixed, "\xB7\xFE\xCE\xF1\xD0\xF2\xC1\xD0\xBA\xC5"},                        // 服务序列号
    {Prefixed, "\xB9\xA4\xB3\xA7\xC3\xFB\xB3\xC6"},                                // 工厂名称
    {Prefixed, "\xD6\xF7\xB0\xE5\xC3\xFB\xB3\xC6"},                                // 主板名称
    {Prefixed, "\xB7\xA2\xB2\xBC\xC8\xD5\xC6\xDA"},                                // 发布日期
    {Fixed1, "\xB7\xFE\xCE\xF1\xD0\xF2\xC1\xD0\xBA\xC5\xD7\xD4\xD0\xA3\xD1\xE9"},  // 服务序列号自校验
    {Fixed4, "\xC9\xFA\xB2\xFA\xC8\xD5\xC6\xDA"},                                  // 生产日期
    {Fixed4, "\xB5\xE7\xB3\xD8\xB3\xF5\xCA\xBC\xBB\xAF\xCA\xB1\xBC\xE4"},          // 电池初始化时间
    {Fixed4, "\xC4\xDC\xC1\xA6\xBC\xAF"},                                          // 能力集
    {Fixed4, "\xC9\xE8\xB1\xB8\xB5\xB1\xC7\xB0\xCA\xB1\xBC\xE4"},                  // 设备当前时间
    {Fixed4, "\xC9\xE8\xB1\xB8\xD6\xD8\xC6\xF4\xB4\xCE\xCA\xFD"},                  // 设备重启次数
    {Fixed4, "\xC9\xE8\xB1\xB8\xD7\xEE\xBA\xF3\xD6\xD8\xC6\xF4\xCA\xB1\xBC\xE4"},  // 设备最后重启时间
    {Fixed2, "\xC9\xE8\xB1\xB8\xC9\xE8\xBC\xC6\xC8\xDD\xC1\xBF"},                  // 设备设计容量
}};

constexpr std::array<FieldDescriptor, 2> kLayoutE5{{
    {Fixed2, kRegisterAddress},                    // 寄存器地址
    {Fixed2, "\xBC\xC4\xB4\xE6\xC6\xF7\xD6\xB5"},  // 寄存器值
}};

constexpr std::array<FieldDescriptor, 2> kLayoutE6{{
    {Fixed1,
     "\xB7\xB5\xBB\xD8\xBC\xC4\xB4\xE6\xC6\xF7\xCA\xFD\xBE\xDD\xB8\xF6\xCA\xFD"},  // 返回寄存器数据个数
    {Array4, "\xBC\xC4\xB4\xE6\xC6\xF7\xB5\xD8\xD6\xB7\xD6\xB5\xCA\xFD\xD7\xE9"},  // 寄存器地址值数组
}};

struct CatalogueEntry {
  std::int32_t command;
  FieldLayout layout;
};

constexpr std::array<CatalogueEntry, 8> kCatalogue{{
    {0x42, kLayout42},
    {0x48, kLayout48},
    {0x65, kLayout65},
    {0x66, kLayout66},
    {0xC2, kLayoutC2},
    {0xC8, kLayoutC8},
    {0xE5, kLayoutE5},
    {0xE6, kLayoutE6},
}};

constexpr std::size_t LongestLayout() {
  std::size_t most = 0;
  for (const CatalogueEntry& entry : kCatalogue) most = std::max(most, entry.layout.size());
  return most;
}

// A breakdown holds its items in a fixed array sized by kMostPayloadFields.
static_assert(LongestLayout() <= kMostPayloadFields, "a layout is longer than a breakdown can hold");
static_assert(FrameItems::kCapacity >= kHeaderItems + LongestLayout() + kTrailerItems);

}  // namespace

std::optional<FieldLayout> FindFieldLayout(std::int32_t command) noexcept {
  for (const CatalogueEntry& entry : kCatalogue) {
    if (entry.command == command) return entry.layout;
  }
  return std::nullopt;
}

}  // namespace codec
