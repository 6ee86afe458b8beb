// Our own profile-string service: reads one value from an INI file the way
// the Windows profile service does, byte for byte, without converting the
// GBK text.
//
// Every read goes to the file, except inside an IniReadingScope, which a
// print request opens so that its thousands of reads cost a few file reads.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace zplport {

// A file larger than this is no Config.ini or file.ini: a real Config.ini
// is under a kilobyte, and 64 MiB is 2 KiB for each of the 32768 lines of
// the largest request, more than a label can show. A file is held in memory
// once while it is read, so this stays safe in a 32-bit process.
inline constexpr std::uint64_t kMaxIniFileBytes = std::uint64_t{64} << 20;

// Raised for a file larger than kMaxIniFileBytes; nothing of it was read.
struct IniFileTooLarge {
  std::filesystem::path file;
  std::uint64_t size;
};

// `text` without any of `characters` at either end; an empty one still points into `text`.
inline std::string_view Trimmed(std::string_view text, std::string_view characters) {
  const std::size_t first = text.find_first_not_of(characters);
  if (first == std::string_view::npos) return text.substr(text.size());
  return text.substr(first, text.find_last_not_of(characters) - first + 1);
}

// The raw value of `key` in `section`, cut to at most `size` - 1 bytes
// without splitting a two-byte GBK character. Nothing when the file, section
// or key is missing or the key has no "=". Names match ASCII
// case-insensitively; the first matching section and its first matching key
// win. Raises IniFileTooLarge.
std::optional<std::string> ReadProfileString(std::string_view section, std::string_view key,
                                             const std::filesystem::path& file, std::size_t size);

class ParsedIniFile;

// Lets the reads of one thread share file readings while it is alive, so
// that an edit still shows at the next request, and within a long one.
// Scopes nest; the innermost one serves; nothing is kept once it ends.
//
// A file is read whole when a value of it is first asked for. That reading
// serves until it is 100 ms old, or ten times as old as it took to make
// where that is longer (so that a huge file is not read again for every
// label), counted from its end; then the file is read again.
class IniReadingScope {
 public:
  static constexpr std::chrono::milliseconds kFreshFor{100};
  static constexpr int kFreshTimesTheWork = 10;

  IniReadingScope();
  ~IniReadingScope();
  IniReadingScope(const IniReadingScope&) = delete;
  IniReadingScope& operator=(const IniReadingScope&) = delete;

  // The innermost scope of this thread, or null.
  static IniReadingScope* Current();

  // The parsed file (null when it cannot be read).
  const ParsedIniFile* Reading(const std::filesystem::path& file);

  // What `resolve()` answers for `what`, worked out again once any reading
  // has been renewed since: for the names of the files that the readings
  // come from. Valid while the scope lives.
  const std::filesystem::path& Remember(std::string_view what,
                                        const std::function<std::filesystem::path()>& resolve);

 private:
  using Clock = std::chrono::steady_clock;
  struct FileReading {
    std::unique_ptr<const ParsedIniFile> parsed;
    Clock::time_point fresh_until;  // not yet read: long past
  };
  struct Remembered {
    std::filesystem::path value;
    int renewals = -1;  // of readings, when it was worked out
  };

  IniReadingScope* outer_;
  std::map<std::filesystem::path::string_type, FileReading> readings_;
  int renewals_ = 0;
  std::map<std::string, Remembered, std::less<>> remembered_;  // nodes stay put
};

}  // namespace zplport
