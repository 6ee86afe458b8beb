// Our own profile-string service: reads one value from an INI file the way
// the Windows profile service does, byte for byte, without converting the
// GBK text.
//
// Every read goes to the file, except inside an IniReadingScope: there each
// file is read whole the first time a value of it is needed, and that
// reading serves the rest of the scope until it is 100 ms old (longer for
// a file that takes long to read). A print request opens one, so that its
// thousands of reads cost a few file reads while an edit still shows at the
// next request (and within a long one). Nothing is kept once the scope ends.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/coarse_clock.h"

namespace zplport {

// A file larger than this is no Config.ini or file.ini: a real Config.ini
// is under a kilobyte, and 64 MiB is 2 KiB for each of the 32768 lines of
// the largest request, more than a label can show. A file is held in memory
// once while it is read, so this stays safe in a 32-bit process.
inline constexpr std::uint64_t kMaxIniFileBytes = std::uint64_t{64} << 20;

// The raw value of `key` in `section`, cut to at most `size` - 1 bytes
// without splitting a two-byte GBK character. Nothing when the file, section
// or key is missing or the key has no "=". Names match ASCII
// case-insensitively; the first matching section and its first matching key
// win. Raises PrintFailure, naming the file and its size, when the file is
// larger than kMaxIniFileBytes.
std::optional<std::string> ReadProfileString(std::string_view section, std::string_view key,
                                             const std::filesystem::path& file, std::size_t size);

class ParsedIniFile;

// Lets a map of strings be searched with a view, without a string made for it.
struct StringViewHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
};

// Lets the reads of one thread share file readings while it is alive.
// Scopes nest; the innermost one serves.
class IniReadingScope {
 public:
  // How long one reading of a file serves, counted from its end; ten times
  // as long as the reading took, where that is longer.
  static constexpr std::chrono::milliseconds kReadingLifetime{100};

  // How long what was read in `took` serves, counted from its end.
  static CoarseClock::duration LifetimeOf(CoarseClock::duration took);

  IniReadingScope();
  ~IniReadingScope();
  IniReadingScope(const IniReadingScope&) = delete;
  IniReadingScope& operator=(const IniReadingScope&) = delete;

  // The innermost scope of this thread, or null.
  static IniReadingScope* Current();

  // The parsed file (null when it cannot be read), read afresh when the
  // last reading is too old.
  const ParsedIniFile* Reading(const std::filesystem::path& file);

  // `resolve()`, worked out again once its answer is kReadingLifetime old:
  // for the names of the files that the readings come from. Valid while
  // the scope lives.
  const std::filesystem::path& Remember(std::string_view what,
                                        const std::function<std::filesystem::path()>& resolve);

 private:
  // Asked at every read: the precise clock would cost a good part of one.
  using Clock = CoarseClock;
  struct FileReading {
    std::unique_ptr<const ParsedIniFile> parsed;
    Clock::time_point fresh_until;
  };
  struct Remembered {
    std::filesystem::path value;
    Clock::time_point resolved_at;
  };

  IniReadingScope* outer_;
  std::unordered_map<std::filesystem::path::string_type, FileReading> readings_;
  std::unordered_map<std::string, Remembered, StringViewHash, std::equal_to<>>
      remembered_;  // nodes stay put
};

}  // namespace zplport
