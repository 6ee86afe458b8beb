// Our own profile-string service: reads one value from an INI file the way
// the Windows profile service does, byte for byte, without converting the
// GBK text.
//
// Every read goes to the file, except inside an IniReadingScope: there each
// file is read whole the first time a value of it is needed, and that
// reading serves the rest of the scope while it is fresh (see
// IniReadingScope). A print request opens one, so that its thousands of
// reads cost a few file reads while an edit still shows at the next request
// (and within a long one). Nothing is kept once the scope ends.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace zplport {

// A file larger than this is no Config.ini or file.ini: a real Config.ini
// is under a kilobyte, and 64 MiB is 2 KiB for each of the 32768 lines of
// the largest request, more than a label can show. A file is held in memory
// once while it is read, so this stays safe in a 32-bit process.
inline constexpr std::uint64_t kMaxIniFileBytes = std::uint64_t{64} << 20;

// Raised for a file larger than kMaxIniFileBytes; nothing of it was read.
class IniFileTooLarge : public std::runtime_error {
 public:
  IniFileTooLarge(std::filesystem::path file, std::uint64_t size)
      : std::runtime_error("INI file too large"), file(std::move(file)), size(size) {}
  std::filesystem::path file;
  std::uint64_t size;
};

// `text` without any of `characters` at either end.
inline std::string_view Trimmed(std::string_view text, std::string_view characters) {
  const std::size_t first = text.find_first_not_of(characters);
  if (first == std::string_view::npos) return {};
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

// Lets the reads of one thread share file readings while it is alive.
// Scopes nest; the innermost one serves.
//
// A reading serves until it is 100 ms old, or ten times as old as it took
// to make where that is longer, counted from its end; then the file is
// read again. The second limit keeps a file so large that reading it takes
// a good part of 100 ms from being read over and over, a label at a time.
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
    Clock::time_point fresh_until;
  };
  struct Remembered {
    std::filesystem::path value;
    int renewals = 0;  // of readings, when it was worked out
  };

  IniReadingScope* outer_;
  std::map<std::filesystem::path::string_type, FileReading> readings_;
  int renewals_ = 0;
  std::map<std::string, Remembered, std::less<>> remembered_;  // nodes stay put
};

}  // namespace zplport
