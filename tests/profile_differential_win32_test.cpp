// Our profile reading against the platform's own GetPrivateProfileStringA
// (Wine's, in the cross build), byte for byte on raw values, over thousands
// of generated INI files. A disagreement fails the test unless it is one of
// our deliberate departures, each named in Classify below.
#ifdef _WIN32

#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "settings/profile_file.h"
#include "support/temp_dir.h"

namespace zplport {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// Builds INI files from the pieces operators and editors produce: headers,
// keys with and without "=", comments, blank lines, quotes, CR/LF/CRLF,
// GBK text, names in any letter case, and values near the buffer size.
class IniGenerator {
 public:
  explicit IniGenerator(std::uint32_t seed) : rng_(seed) {}

  std::string File() {
    written_.clear();
    section_.clear();
    std::string out;
    if (Chance(5)) out += kUtf8Bom;
    const int lines = Between(0, 24);
    for (int i = 0; i < lines; ++i) {
      out += Line();
      // The last line often has no line end at all.
      if (i + 1 < lines || Chance(70)) out += LineEnd();
    }
    return out;
  }

  // A section and key to ask for: half the time a pair the last file wrote,
  // otherwise any of the names the files use, or one they never use; in any
  // letter case.
  std::pair<std::string, std::string> Query() {
    if (!written_.empty() && Chance(50)) {
      const auto& [section, key] =
          written_[static_cast<std::size_t>(Between(0, static_cast<int>(written_.size()) - 1))];
      return {RandomCase(section), RandomCase(key)};
    }
    return {Chance(85) ? RandomCase(Pick(kSections)) : "absent",
            Chance(90) ? RandomCase(Pick(kKeys)) : "nokey"};
  }

  // The buffer size in characters: the tool's own, or one that long values
  // overflow.
  DWORD Size() {
    if (Chance(60)) return 65536;
    return static_cast<DWORD>(Between(1, 48));
  }

  bool Chance(int percent) { return Between(1, 100) <= percent; }

 private:
  static constexpr std::string_view kSections[] = {
      "prtmod", "zuobiao", "font", "network", "content", "s",
      "\xCD\xF8\xC2\xE7",  // a name in Chinese
      // Two GBK characters whose second bytes are "A" and "a": different
      // names, which folding ASCII case must not merge.
      "\x81\x41", "\x81\x61"};
  static constexpr std::string_view kKeys[] = {"prtmod",    "darkness", "zbx",     "zby1",  "a",
                                               "b",         "c(0)",     "c(1)",    "c(12)", "k",
                                               "printerip", "\x81\x41", "\x81\x61"};

  int Between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }

  template <std::size_t N>
  std::string Pick(const std::string_view (&pool)[N]) {
    return std::string(pool[static_cast<std::size_t>(Between(0, N - 1))]);
  }

  std::string RandomCase(std::string name) {
    bool trail = false;  // the second byte of a GBK character is no letter
    for (char& c : name) {
      const auto b = static_cast<unsigned char>(c);
      if (!trail && b < 0x80 && std::isalpha(b) && Chance(30)) {
        c = static_cast<char>(std::isupper(b) ? std::tolower(b) : std::toupper(b));
      }
      trail = !trail && b >= 0x81;
    }
    return name;
  }

  std::string Blank() {
    // Ctrl-Z is the end-of-file mark that old DOS editors leave behind.
    static constexpr std::string_view kBlanks[] = {" ", "\t", "  ", " \t ", "\v", "\f", "\x1A"};
    return Chance(70) ? "" : Pick(kBlanks);
  }

  std::string LineEnd() {
    const int roll = Between(1, 10);
    return roll <= 5 ? "\r\n" : roll <= 8 ? "\n" : "\r";
  }

  std::string Gbk() {
    std::string c;
    if (Chance(70)) {  // GB2312 Chinese characters
      c += static_cast<char>(Between(0xB0, 0xF7));
      c += static_cast<char>(Between(0xA1, 0xFE));
    } else {  // the GBK extension, whose second byte may look like ASCII
      c += static_cast<char>(Between(0x81, 0xA0));
      int trail = Between(0x40, 0xFD);
      if (trail >= 0x7F) ++trail;  // 0x7F is never a second byte
      c += static_cast<char>(trail);
    }
    return c;
  }

  std::string Word() {
    static constexpr std::string_view kWords[] = {"LPT1:",     "ip",   "15",  "50", "ABC",
                                                  "127.0.0.1", "9100", "x y", "a=b"};
    return Pick(kWords);
  }

  std::string Value() {
    std::string v;
    const int tokens = Chance(10) ? Between(10, 40) : Between(0, 5);
    for (int i = 0; i < tokens; ++i) {
      const int roll = Between(1, 100);
      if (roll <= 30) {
        v += Word();
      } else if (roll <= 55) {
        v += Gbk();
      } else if (roll <= 65) {
        v += Blank() + " ";
      } else if (roll <= 72) {
        v += Chance(50) ? ";" : ";note";
      } else if (roll <= 78) {
        v += Chance(70) ? "<S:BR>" : "<s:br>";
      } else if (roll <= 86) {
        v += Chance(50) ? "\"" : "'";
      } else if (roll <= 92) {
        v += Chance(50) ? "[" : "]";
      } else if (roll <= 97) {
        v += "=";
      } else if (roll <= 99) {
        v += static_cast<char>(Between('a', 'z'));
      } else {
        v += '\0';
      }
    }
    if (Chance(12)) {
      const std::string quote = Chance(70) ? "\"" : "'";
      v = quote + v + quote;
    }
    return v;
  }

  std::string Line() {
    const int roll = Between(1, 100);
    if (roll <= 18) {  // a section header
      std::string name = Chance(4) ? "" : RandomCase(Pick(kSections));
      section_ = name;
      std::string line = Blank() + "[" + Blank() + name + Blank();
      if (Chance(95)) line += "]";
      if (Chance(10)) line += Chance(50) ? " ; note" : " tail";
      return line + Blank();
    }
    if (roll <= 70) {  // key=value
      const std::string key = RandomCase(Pick(kKeys));
      written_.emplace_back(section_, key);
      return Blank() + key + Blank() + "=" + Blank() + Value() + Blank();
    }
    if (roll <= 75) return Blank() + RandomCase(Pick(kKeys)) + Blank();  // no "="
    if (roll <= 84) {                                                    // a comment
      return Blank() + ";" + (Chance(50) ? RandomCase(Pick(kKeys)) + "=" + Value() : Value());
    }
    if (roll <= 94) return Blank();
    // Stray text: a value with no key, or text around brackets.
    return Chance(50) ? "=" + Value() : Value() + "[" + Value();
  }

  std::mt19937 rng_;
  std::string section_;  // the last header written
  std::vector<std::pair<std::string, std::string>> written_;
};

// The platform's answer, called as the tool's reader calls it: a buffer of
// `size` spaces, the empty text as the service's default, and the raw value
// taken up to its terminator.
std::string PlatformValue(const std::string& section, const std::string& key,
                          const std::filesystem::path& file, DWORD size) {
  std::string buffer(size, ' ');
  GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer.data(), size,
                           file.string().c_str());
  return std::string(buffer.c_str());
}

std::string OurValue(const std::string& section, const std::string& key,
                     const std::filesystem::path& file, DWORD size) {
  return ReadProfileString(section, key, file, size).value_or("");
}

bool HasNonAscii(std::string_view s) {
  for (char c : s) {
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  }
  return false;
}

// Why the two answers may differ; empty when they must not.
std::string Classify(std::string_view file, DWORD size, std::string_view ours,
                     std::string_view theirs) {
  // We skip a UTF-8 byte-order mark and keep the GBK bytes that follow as
  // they stand, since the tool's files are GBK; the platform instead reads
  // the whole file as UTF-8, so its non-ASCII text comes back converted.
  if (file.substr(0, kUtf8Bom.size()) == kUtf8Bom && HasNonAscii(file.substr(kUtf8Bom.size()))) {
    return "UTF-8 byte-order mark";
  }
  // Where a value overflows the buffer in the middle of a Chinese
  // character, the platform leaves the caller's buffer byte (a space) in
  // place of the half character; we end the value before it.
  if (theirs.size() == size - 1 && ours.size() + 1 == theirs.size() &&
      theirs.substr(0, ours.size()) == ours && theirs.back() == ' ') {
    return "half character at the buffer's end";
  }
  // A quoted value that exactly fills the buffer loses its last character
  // on the platform; we keep it.
  if (ours.size() == size - 1 && theirs.size() < ours.size() &&
      ours.substr(0, theirs.size()) == theirs &&
      (file.find("\"" + std::string(ours) + "\"") != std::string_view::npos ||
       file.find("'" + std::string(ours) + "'") != std::string_view::npos)) {
    return "quoted value filling the buffer";
  }
  return "";
}

std::string Escaped(std::string_view bytes) {
  std::ostringstream out;
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b < 0x7F && b != '\\') {
      out << c;
    } else {
      static constexpr char kHex[] = "0123456789ABCDEF";
      out << "\\x" << kHex[b >> 4] << kHex[b & 15];
    }
  }
  return out.str();
}

TEST(ProfileDifferentialTest, AgreesWithThePlatformService) {
  constexpr int kFiles = 4000;
  constexpr int kQueriesPerFile = 12;
  IniGenerator generate(20261209);
  testing::ScopedTempDir dir;

  int agreed = 0;
  int values = 0;  // identical reads that found a value
  int missing_files = 0;
  std::map<std::string, int> departures;
  std::vector<std::string> failures;
  int unexplained = 0;
  for (int f = 0; f < kFiles; ++f) {
    // A new name for every file: the platform caches parsed files by name
    // and time stamp, and two writes within one clock tick share a stamp.
    const std::string name = "gen" + std::to_string(f) + ".ini";
    const std::string text = generate.File();
    const bool missing = generate.Chance(2);
    const std::filesystem::path file = missing ? dir.path() / name : dir.Write(name, text);
    missing_files += missing;

    for (int q = 0; q < kQueriesPerFile; ++q) {
      const auto [section, key] = generate.Query();
      const DWORD size = generate.Size();
      const std::string theirs = PlatformValue(section, key, file, size);
      const std::string ours = OurValue(section, key, file, size);
      if (ours == theirs) {
        ++agreed;
        values += !ours.empty();
        continue;
      }
      const std::string why = missing ? "" : Classify(text, size, ours, theirs);
      if (!why.empty()) {
        ++departures[why];
      } else if (++unexplained <= 20) {
        failures.push_back("file " + std::to_string(f) + " [" + Escaped(section) + "] " +
                           Escaped(key) + " size " + std::to_string(size) + "\n  ours:   \"" +
                           Escaped(ours) + "\"\n  theirs: \"" + Escaped(theirs) +
                           "\"\n  file:   \"" + Escaped(text) + "\"");
      }
    }
    std::filesystem::remove(file);
  }

  std::cout << kFiles << " files (" << missing_files << " missing), " << kFiles * kQueriesPerFile
            << " reads, " << agreed << " identical (" << values << " of them values)";
  for (const auto& [why, count] : departures) std::cout << ", " << count << " " << why;
  std::cout << "\n";
  EXPECT_EQ(unexplained, 0);
  for (const std::string& failure : failures) ADD_FAILURE() << failure;
}

TEST(ProfileDifferentialTest, ValuesNearTheToolsBufferSize) {
  // The tool reads with a buffer of 65536 characters: at most 65535 bytes
  // of value. "\xD6\xD0" is one Chinese character.
  constexpr DWORD kSize = 65536;
  auto chinese = [](std::size_t count) {
    std::string s;
    for (std::size_t i = 0; i < count; ++i) s += "\xD6\xD0";
    return s;
  };
  struct Case {
    const char* name;
    std::string value;
    const char* departure;  // "" when both must agree
  } cases[] = {
      {"ASCII one short of the limit", std::string(65534, 'x'), ""},
      {"ASCII filling the buffer", std::string(65535, 'x'), ""},
      {"ASCII one over", std::string(65536, 'x'), ""},
      {"ASCII far over", std::string(100000, 'x'), ""},
      {"Chinese ending at the limit", "x" + chinese(32767), ""},
      {"Chinese character across the limit", chinese(32768), "half character at the buffer's end"},
      {"Chinese far over", chinese(40000), "half character at the buffer's end"},
      {"quoted, one short", "\"" + std::string(65534, 'x') + "\"", ""},
      {"quoted, filling the buffer", "'" + std::string(65535, 'x') + "'",
       "quoted value filling the buffer"},
      {"quoted, one over", "\"" + std::string(65536, 'x') + "\"", ""},
  };
  testing::ScopedTempDir dir;
  int n = 0;
  for (const auto& c : cases) {
    const std::string text = "[content]\r\nc(0)=" + c.value + "\r\n";
    const auto file = dir.Write("long" + std::to_string(n++) + ".ini", text);
    const std::string theirs = PlatformValue("content", "c(0)", file, kSize);
    const std::string ours = OurValue("content", "c(0)", file, kSize);
    EXPECT_LE(ours.size(), kSize - 1) << c.name;
    if (ours != theirs) {
      EXPECT_EQ(Classify(text, kSize, ours, theirs), c.departure) << c.name;
    } else {
      EXPECT_STREQ(c.departure, "") << c.name << ": now agrees";
    }
  }
}

// Files the generator never writes, since the tool's files are GBK text:
// here we depart from the platform on purpose, and these cases say how.
TEST(ProfileDifferentialTest, DeparturesOutsideGbkText) {
  std::string utf16 = "\xFF\xFE";  // "[s]\r\nk=v\r\n" in UTF-16LE with its mark
  for (char c : std::string_view("[s]\r\nk=v\r\n")) utf16 += std::string{c, '\0'};
  struct Case {
    const char* name;
    std::string text;
    std::string ours;
  } cases[] = {
      // The platform decodes a lead byte and the line end after it as one
      // (unknown) character; we keep the byte and the line end.
      {"a lone GBK lead byte at the end of a line", "[s]\r\nk=a\x81\r\nj=b\r\n", "a\x81"},
      // The platform reads UTF-16 text; to us it is no INI text at all.
      {"UTF-16 with its byte-order mark", utf16, ""},
  };
  testing::ScopedTempDir dir;
  int n = 0;
  for (const auto& c : cases) {
    const auto file = dir.Write("other" + std::to_string(n++) + ".ini", c.text);
    EXPECT_EQ(OurValue("s", "k", file, 65536), c.ours) << c.name;
    EXPECT_NE(PlatformValue("s", "k", file, 65536), c.ours) << c.name << ": now agrees";
  }
}

}  // namespace
}  // namespace zplport

#endif  // _WIN32
