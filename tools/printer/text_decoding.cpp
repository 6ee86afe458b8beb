#include "printer/text_decoding.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <map>
#include <mutex>

namespace zplport::printer {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// One character through iconv; false when it does not convert.
bool ConvertOne(iconv_t converter, const char* in, std::size_t length, char32_t* out) {
  char buffer[8];
  std::copy(in, in + length, buffer);
  unsigned char result[8] = {};
  char* in_ptr = buffer;
  char* out_ptr = reinterpret_cast<char*>(result);
  std::size_t in_left = length;
  std::size_t out_left = sizeof result;
  iconv(converter, nullptr, nullptr, nullptr, nullptr);
  if (iconv(converter, &in_ptr, &in_left, &out_ptr, &out_left) == static_cast<std::size_t>(-1) ||
      in_left != 0 || out_left != 4) {
    return false;
  }
  *out = static_cast<char32_t>(result[0] | (result[1] << 8) | (result[2] << 16) |
                               (static_cast<std::uint32_t>(result[3]) << 24));
  return true;
}

// A single-byte code page's 256 characters, read once from iconv.
const std::array<char32_t, 256>& SingleByteTable(const char* iconv_name) {
  static std::mutex mutex;
  static std::map<std::string, std::array<char32_t, 256>> tables;
  std::lock_guard lock(mutex);
  auto [it, added] = tables.try_emplace(iconv_name);
  if (added) {
    iconv_t converter = iconv_open("UTF-32LE", iconv_name);
    for (int byte = 0; byte < 256; ++byte) {
      const char c = static_cast<char>(byte);
      char32_t out = byte < 0x80 ? static_cast<char32_t>(byte) : kReplacement;
      if (converter != reinterpret_cast<iconv_t>(-1)) ConvertOne(converter, &c, 1, &out);
      it->second[static_cast<std::size_t>(byte)] = out;
    }
    if (converter != reinterpret_cast<iconv_t>(-1)) iconv_close(converter);
  }
  return it->second;
}

// ASCII-transparent multibyte encodings (GBK, Shift-JIS): one or two bytes
// a character, each tried on its own so that a bad one costs only itself.
std::u32string DecodeMultibyte(std::string_view bytes, const char* iconv_name) {
  std::u32string text;
  text.reserve(bytes.size());
  iconv_t converter = iconv_open("UTF-32LE", iconv_name);
  const bool usable = converter != reinterpret_cast<iconv_t>(-1);
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    char32_t out = 0;
    if (c < 0x80) {
      text.push_back(c);
      ++i;
    } else if (usable && i + 1 < bytes.size() && ConvertOne(converter, bytes.data() + i, 2, &out)) {
      text.push_back(out);
      i += 2;
    } else if (usable && ConvertOne(converter, bytes.data() + i, 1, &out)) {
      text.push_back(out);
      ++i;
    } else {
      text.push_back(kReplacement);
      ++i;
    }
  }
  if (usable) iconv_close(converter);
  return text;
}

std::u32string DecodeUtf16(std::string_view bytes, bool big_endian) {
  std::u32string text;
  std::size_t i = 0;
  auto unit = [&](std::size_t at) {
    const auto a = static_cast<unsigned char>(bytes[at]);
    const auto b = static_cast<unsigned char>(bytes[at + 1]);
    return static_cast<char32_t>(big_endian ? (a << 8 | b) : (b << 8 | a));
  };
  while (i + 1 < bytes.size()) {
    const char32_t first = unit(i);
    i += 2;
    if (first >= 0xD800 && first <= 0xDBFF && i + 1 < bytes.size()) {
      const char32_t second = unit(i);
      if (second >= 0xDC00 && second <= 0xDFFF) {
        text.push_back(0x10000 + ((first - 0xD800) << 10) + (second - 0xDC00));
        i += 2;
        continue;
      }
    }
    text.push_back(first >= 0xD800 && first <= 0xDFFF ? kReplacement : first);
  }
  if (i < bytes.size()) text.push_back(kReplacement);
  return text;
}

}  // namespace

const char* EncodingOfCharset(long long charset) {
  if (charset >= 0 && charset <= 13) return "cp850";
  switch (charset) {
    case 14:
    case 16:
    case 26:
      return "gbk";  // the multibyte Asian encodings, read as this printer's Chinese
    case 15:
      return "shift_jis";
    case 17:
    case 29:
      return "utf-16be";
    case 27:
      return "cp1252";
    case 28:
      return "utf-8";
    case 30:
      return "utf-16le";
    case 31:
      return "cp1250";
    case 33:
      return "cp1251";
    case 34:
      return "cp1253";
    case 35:
      return "cp1254";
    case 36:
      return "cp1255";
    default:
      return nullptr;
  }
}

const std::vector<std::string>& KnownEncodings() {
  static const std::vector<std::string> names = {"gbk",    "utf-8",     "cp1252",   "cp850",
                                                 "cp1250", "cp1251",    "cp1253",   "cp1254",
                                                 "cp1255", "shift_jis", "utf-16be", "utf-16le"};
  return names;
}

std::u32string DecodeText(std::string_view bytes, std::string_view encoding) {
  const std::string name = [&] {
    std::string lower(encoding);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
  }();
  if (name == "gbk" || name == "cp936") return DecodeGbk(bytes);
  if (name == "utf-8" || name == "utf8") return DecodeUtf8(bytes);
  if (name == "utf-16be") return DecodeUtf16(bytes, true);
  if (name == "utf-16le") return DecodeUtf16(bytes, false);
  if (name == "shift_jis") return DecodeMultibyte(bytes, "SHIFT_JIS");
  if (name.starts_with("cp") && name.size() <= 6) {
    const std::string iconv_name = "CP" + name.substr(2);
    const auto& table = SingleByteTable(iconv_name.c_str());
    std::u32string text;
    text.reserve(bytes.size());
    for (const char c : bytes) text.push_back(table[static_cast<unsigned char>(c)]);
    return text;
  }
  return DecodeGbk(bytes);
}

std::u32string DecodeGbk(std::string_view bytes) { return DecodeMultibyte(bytes, "GBK"); }

std::u32string DecodeUtf8(std::string_view bytes) {
  std::u32string text;
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    int extra = 0;
    char32_t cp = 0;
    if (c < 0x80) {
      cp = c;
    } else if (c >= 0xC2 && c <= 0xDF) {
      extra = 1;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2;
      cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3;
      cp = c & 0x07;
    } else {
      text.push_back(kReplacement);
      ++i;
      continue;
    }
    bool ok = i + static_cast<std::size_t>(extra) < bytes.size();
    for (int k = 1; ok && k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + static_cast<std::size_t>(k)]);
      if ((next & 0xC0) != 0x80)
        ok = false;
      else
        cp = (cp << 6) | (next & 0x3F);
    }
    const char32_t minimum[] = {0, 0x80, 0x800, 0x10000};
    if (!ok || cp < minimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      text.push_back(kReplacement);
      ++i;
      continue;
    }
    text.push_back(cp);
    i += static_cast<std::size_t>(extra) + 1;
  }
  return text;
}

void ApplyNationalCharacters(long long charset, std::u32string& text) {
  // What each of ^CI 0 to 12 prints for # @ [ \ ] ^ ` { | }, in that order.
  static constexpr char32_t kAscii[] = U"#@[\\]^`{|}";
  static constexpr const char32_t* kSets[] = {
      U"#@[\u00A2]^`{|}",                                               // 0 USA 1
      U"#@[\u00A2]^`\u00BC\u00BD\u00BE",                                // 1 USA 2
      U"\u00A3@[\u00A2]^`{|}",                                          // 2 UK
      U"\u0192\u00A7[\u0132]^`{\u0133}",                                // 3 Holland
      U"#@\u00C6\u00D8\u00C5^`\u00E6\u00F8\u00E5",                      // 4 Denmark/Norway
      U"\u00DC\u00C9\u00C4\u00D6\u00C5\u00DC\u00E9\u00E4\u00F6\u00E5",  // 5 Sweden/Finland
      U"#\u00A7\u00C4\u00D6\u00DC^`\u00E4\u00F6\u00FC",                 // 6 Germany
      U"\u00A3\u00E0[\u00E7]^`\u00E9|\u00F9",                           // 7 France 1
      U"#\u00E0\u00E2\u00E7\u00EA\u00EE\u00F4\u00E9\u00F9\u00E8",       // 8 France 2
      U"\u00A3\u00A7[\u00E7\u00E9^\u00F9\u00E0\u00F2\u00E8",            // 9 Italy
      U"#\u00A7\u00A1\u00D1\u00BF^`{\u00F1\u00E7",                      // 10 Spain
      U"\u00A3\u00C9\u00C4\u00D6\u00DC^\u00E4\u00EB\u00EF\u00F6",       // 11 miscellaneous
      U"#@[\u00A5]^`{|}",                                               // 12 Japan
  };
  if (charset < 0 || charset > 12) return;
  const std::u32string_view set = kSets[charset];
  const std::u32string_view ascii = kAscii;
  for (char32_t& c : text) {
    const std::size_t at = ascii.find(c);
    if (at != std::u32string_view::npos && at < set.size()) c = set[at];
  }
}

}  // namespace zplport::printer
