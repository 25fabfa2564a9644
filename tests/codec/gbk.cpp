#include "gbk.h"

#include <iconv.h>

#include <stdexcept>
#include <vector>

namespace codec_test {

std::string GbkToUtf8(std::string_view gbk) {
  iconv_t cd = iconv_open("UTF-8", "GBK");
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv cannot convert from GBK");
  std::vector<char> out(gbk.size() * 2 + 4);
  char* in_ptr = const_cast<char*>(gbk.data());
  std::size_t in_left = gbk.size();
  char* out_ptr = out.data();
  std::size_t out_left = out.size();
  const std::size_t rc = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
  iconv_close(cd);
  if (rc == static_cast<std::size_t>(-1) || in_left != 0) return "<invalid GBK>";
  return std::string(out.data(), out.size() - out_left);
}

}  // namespace codec_test
