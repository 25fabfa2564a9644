#include "text/gbk_text.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace kelvo_text {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

iconv_t Handle(void* p) {
  return static_cast<iconv_t>(p);
}

}  // namespace

GbkToUtf8::~GbkToUtf8() {
  if (iconv_ != nullptr) iconv_close(Handle(iconv_));
}

const GbkToUtf8::Utf8Char& GbkToUtf8::Lookup(Utf8Char& slot, std::string_view gbk) {
  if (slot.size != 0) return slot;
  if (iconv_ == nullptr) {
    iconv_t cd = iconv_open("UTF-8", "GBK");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
      throw std::runtime_error(std::string("no GBK converter: ") + std::strerror(errno));
    }
    iconv_ = cd;
  }
  iconv(Handle(iconv_), nullptr, nullptr, nullptr, nullptr);  // fresh shift state
  char in[2];
  std::memcpy(in, gbk.data(), gbk.size());
  char* in_ptr = in;
  std::size_t in_left = gbk.size();
  char* out_ptr = slot.bytes.data();
  std::size_t out_left = slot.bytes.size();
  // Success means every input byte made up exactly one character.
  const std::size_t done = iconv(Handle(iconv_), &in_ptr, &in_left, &out_ptr, &out_left);
  const auto written = static_cast<std::uint8_t>(slot.bytes.size() - out_left);
  slot.size = (done == static_cast<std::size_t>(-1) || in_left != 0 || written == 0) ? kNotGbk : written;
  return slot;
}

void GbkToUtf8::Append(std::string_view gbk, std::string& out) {
  std::size_t i = 0;
  const std::size_t n = gbk.size();
  while (i < n) {
    // Copy the run of ASCII bytes in one go.
    std::size_t run = i;
    while (run < n && static_cast<unsigned char>(gbk[run]) < 0x80) ++run;
    out.append(gbk.data() + i, run - i);
    i = run;
    if (i == n) break;

    const auto lead = static_cast<unsigned char>(gbk[i]);
    if (i + 1 < n) {
      const auto trail = static_cast<unsigned char>(gbk[i + 1]);
      const Utf8Char& pair = Lookup(pairs_[(lead - 0x80u) * 256u + trail], gbk.substr(i, 2));
      if (pair.size != kNotGbk) {
        out.append(pair.bytes.data(), pair.size);
        i += 2;
        continue;
      }
    }
    const Utf8Char& single = Lookup(single_[lead - 0x80u], gbk.substr(i, 1));
    if (single.size != kNotGbk) {
      out.append(single.bytes.data(), single.size);
    } else {
      out.append(kReplacement);
    }
    ++i;
  }
}

void GbkToUtf8::AppendLasting(std::string_view gbk, std::string& out) {
  const auto address = reinterpret_cast<std::uintptr_t>(gbk.data());
  LastingText& slot = lasting_[(address ^ (address >> 8)) & 0xFF];
  if (slot.data != gbk.data() || slot.size != gbk.size()) {
    slot.utf8.clear();
    Append(gbk, slot.utf8);
    slot.data = gbk.data();
    slot.size = gbk.size();
  }
  out += slot.utf8;
}

}  // namespace kelvo_text
