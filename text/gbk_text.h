// The one place where the codec's GBK text becomes UTF-8: for the terminal, records and windows.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kelvo_text {

// Converts GBK bytes to UTF-8 with glibc's iconv. Each character is asked of
// iconv once and remembered, so long runs of frames cost table lookups only.
// Bytes that are not GBK become U+FFFD, one per byte, and conversion goes on
// with the next byte: the output is always valid UTF-8.
class GbkToUtf8 {
 public:
  GbkToUtf8() = default;
  GbkToUtf8(const GbkToUtf8&) = delete;
  GbkToUtf8& operator=(const GbkToUtf8&) = delete;
  ~GbkToUtf8();

  // Appends the UTF-8 form of `gbk` to `out`. Throws std::runtime_error when
  // iconv has no GBK converter, and std::bad_alloc.
  void Append(std::string_view gbk, std::string& out);

  // As Append, for text that stays at one address, unchanged, for the life of
  // the converter (the codec's labels): converted once, then copied whole.
  void AppendLasting(std::string_view gbk, std::string& out);

  // The UTF-8 form of `gbk` as a new string.
  [[nodiscard]] std::string Convert(std::string_view gbk) {
    std::string out;
    Append(gbk, out);
    return out;
  }

 private:
  // A converted character: up to 4 UTF-8 bytes; size 0 means not asked yet,
  // kNotGbk that iconv refused it.
  struct Utf8Char {
    std::uint8_t size = 0;
    std::array<char, 4> bytes{};
  };
  static constexpr std::uint8_t kNotGbk = 0xFF;

  const Utf8Char& Lookup(Utf8Char& slot, std::string_view gbk);

  struct LastingText {
    const char* data = nullptr;
    std::size_t size = 0;
    std::string utf8;
  };

  void* iconv_ = nullptr;                    // iconv_t, opened on the first character above 0x7F
  std::array<Utf8Char, 128> single_{};       // bytes 0x80-0xFF alone
  std::array<Utf8Char, 128 * 256> pairs_{};  // lead byte 0x80-0xFF, any trail byte
  std::array<LastingText, 256> lasting_{};   // by address; a clash converts again
};

}  // namespace kelvo_text
