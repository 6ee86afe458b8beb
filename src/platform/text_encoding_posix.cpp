#include "platform/text_encoding.h"

#include <iconv.h>

#include <cerrno>

namespace zplport {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

class Converter {
 public:
  Converter() {
    handle_ = iconv_open("UTF-8", "GBK");
    if (handle_ == kInvalid) handle_ = iconv_open("UTF-8", "CP936");
  }
  ~Converter() {
    if (handle_ != kInvalid) iconv_close(handle_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool ok() const { return handle_ != kInvalid; }
  iconv_t get() const { return handle_; }

 private:
  // iconv_open's failure value.
  static inline const iconv_t kInvalid =
      reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr)
  iconv_t handle_;
};

// Without a GBK converter ASCII still reads; every other byte is unreadable.
std::string AsciiOnly(std::string_view gbk) {
  std::string out;
  for (char c : gbk) {
    if (static_cast<unsigned char>(c) < 0x80) {
      out += c;
    } else {
      out += kReplacement;
    }
  }
  return out;
}

}  // namespace

std::string GbkToUtf8(std::string_view gbk) {
  Converter converter;
  if (!converter.ok()) return AsciiOnly(gbk);

  // A GBK character takes at most two bytes and becomes at most three in
  // UTF-8; a replaced single byte becomes three.
  std::string out(gbk.size() * 3 + 4, '\0');
  char* in = const_cast<char*>(gbk.data());
  std::size_t in_left = gbk.size();
  std::size_t used = 0;
  while (in_left > 0) {
    char* dest = out.data() + used;
    std::size_t dest_left = out.size() - used;
    const std::size_t result = iconv(converter.get(), &in, &in_left, &dest, &dest_left);
    used = out.size() - dest_left;
    if (result != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) {
      out.resize(out.size() * 2);
      continue;
    }
    // EILSEQ (not GBK) or EINVAL (cut off at the end): replace one byte and
    // carry on with the next.
    if (out.size() - used < kReplacement.size()) out.resize(out.size() * 2);
    out.replace(used, kReplacement.size(), kReplacement);
    used += kReplacement.size();
    ++in;
    --in_left;
    iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);
  }
  out.resize(used);
  return out;
}

}  // namespace zplport
