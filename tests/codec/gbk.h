// GBK to UTF-8 through the C library's iconv, independent of the codec, so
// that the tests compare labels with the readable text.
#pragma once

#include <string>
#include <string_view>

namespace codec_test {

// The UTF-8 form of `gbk`; "<invalid GBK>" when iconv rejects a sequence, so
// that a mis-encoded label cannot compare equal to anything readable.
std::string GbkToUtf8(std::string_view gbk);

}  // namespace codec_test
