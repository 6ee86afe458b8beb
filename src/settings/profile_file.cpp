#include "settings/profile_file.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/file_system.h"

namespace zplport {
namespace {

// A file whose last change lies closer than this to the moment we read it may
// have been changed again within the same tick of the file system's clock,
// leaving the stamp as it was. Such an entry is checked against the bytes on
// disk at the next read until the change has settled. The tick is 1 to 10 ms
// on Linux and 15.6 ms on Windows.
constexpr std::int64_t kSettleNs = 32'000'000;

// The most files kept at once; the tool itself reads two.
constexpr std::size_t kMaxCachedFiles = 16;

// Ctrl-Z, the end-of-file mark that DOS editors leave at the end of a file,
// counts as white space, as it does for the Windows service.
bool IsSpace(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == 0x1A;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && IsSpace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

bool IsGbkLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
bool IsGbkTrail(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }

// Calls `visit(offset, width)` for each character of `s`: two bytes for a
// GBK character, one for anything else.
template <typename Visit>
void ForEachCharacter(std::string_view s, Visit visit) {
  for (std::size_t i = 0; i < s.size();) {
    const bool pair = IsGbkLead(static_cast<unsigned char>(s[i])) && i + 1 < s.size() &&
                      IsGbkTrail(static_cast<unsigned char>(s[i + 1]));
    const std::size_t width = pair ? 2 : 1;
    visit(i, width);
    i += width;
  }
}

// Folds ASCII letters to lower case. The second byte of a GBK character may
// look like a letter ("\x81\x41" and "\x81\x61" are two characters), so
// it is left alone.
void FoldCase(std::string& s, std::size_t from = 0) {
  ForEachCharacter(std::string_view(s).substr(from), [&](std::size_t i, std::size_t width) {
    char& c = s[from + i];
    if (width == 1 && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  });
}

std::string Lower(std::string_view s) {
  std::string out(s);
  FoldCase(out);
  return out;
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// A NUL ends a name or a value as it ends a C string; the line is still
// split and trimmed as a whole, so white space before a NUL stays.
std::string_view UpToNul(std::string_view s) { return s.substr(0, s.find('\0')); }

// The offset of the last "]" in `line`, or npos; the second byte of a GBK
// character may be "]" and closes nothing.
std::size_t FindLastBracket(std::string_view line) {
  std::size_t found = std::string_view::npos;
  ForEachCharacter(line, [&](std::size_t i, std::size_t width) {
    if (width == 1 && line[i] == ']') found = i;
  });
  return found;
}

// The longest prefix of `value` of at most `limit` bytes that does not end
// between the two bytes of a GBK character.
std::size_t CutWithoutSplitting(std::string_view value, std::size_t limit) {
  if (value.size() <= limit) return value.size();
  std::size_t end = 0;
  ForEachCharacter(value.substr(0, limit + 1), [&](std::size_t i, std::size_t width) {
    if (i + width <= limit) end = i + width;
  });
  return end;
}

// One parsed file: the first section of each name and, in it, the first key
// of each name. Names are views into `folded_`, values offsets into
// `bytes_`; the object is neither copied nor moved once built, so the views
// stay valid.
class ParsedFile {
 public:
  explicit ParsedFile(std::string bytes);
  ParsedFile(const ParsedFile&) = delete;
  ParsedFile& operator=(const ParsedFile&) = delete;

  const std::string& bytes() const { return bytes_; }

  // Names must already be folded to lower case. Nothing when the section or
  // key is missing or the key was written without "=".
  std::optional<std::string_view> Find(std::string_view section, std::string_view key) const;

 private:
  // A key written without "=" is kept as absent so that it still hides later
  // lines of the same name.
  struct Key {
    std::uint32_t section = 0;
    std::string_view name;
    std::size_t value_offset = 0;
    std::size_t value_length = 0;
    bool present = false;
  };
  static bool Before(const Key& a, const Key& b) {
    return a.section != b.section ? a.section < b.section : a.name < b.name;
  }

  void ParseLine(std::string_view line);
  std::string_view Folded(std::string_view part) const {
    return std::string_view(folded_).substr(static_cast<std::size_t>(part.data() - bytes_.data()),
                                            part.size());
  }

  std::string bytes_;
  std::string folded_;
  std::unordered_map<std::string_view, std::uint32_t> sections_;
  std::vector<Key> keys_;  // sorted by section and name; first of each kept
  // The section that lines go to; none after a repeated header, whose
  // lines can never be asked for.
  std::optional<std::uint32_t> current_;
};

ParsedFile::ParsedFile(std::string bytes) : bytes_(std::move(bytes)), folded_(bytes_) {
  const auto line_ends = static_cast<std::size_t>(
      std::count_if(bytes_.begin(), bytes_.end(), [](char c) { return c == '\n' || c == '\r'; }));
  keys_.reserve(line_ends + 1);
  // Lines before the first header form the section of the empty name, as
  // with the Windows service, so a later "[]" is a repeated header.
  sections_.emplace(std::string_view(), 0);
  current_ = 0;

  std::string_view text(bytes_);
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  FoldCase(folded_, bytes_.size() - text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t eol = pos;
    while (eol < text.size() && text[eol] != '\n' && text[eol] != '\r') ++eol;
    ParseLine(text.substr(pos, eol - pos));
    pos = eol + 1;
    if (eol < text.size() && text[eol] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
  }
  // A stable sort keeps equal names in file order, so the first one stays.
  std::stable_sort(keys_.begin(), keys_.end(), Before);
  keys_.erase(std::unique(keys_.begin(), keys_.end(),
                          [](const Key& a, const Key& b) { return !Before(a, b); }),
              keys_.end());
}

void ParsedFile::ParseLine(std::string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() == ';') return;

  if (line.front() == '[') {
    const std::size_t close = FindLastBracket(line);
    if (close != std::string_view::npos) {
      const std::string_view name = UpToNul(Trim(line.substr(1, close - 1)));
      current_.reset();
      const auto id = static_cast<std::uint32_t>(sections_.size());
      if (sections_.try_emplace(Folded(name), id).second) current_ = id;
      return;
    }
    // Without "]" the line is no header; like the Windows service we read it
    // as an ordinary line of the current section.
  }

  if (!current_) return;
  const std::size_t eq = line.find('=');
  if (eq == std::string_view::npos) {
    keys_.push_back(Key{*current_, Folded(UpToNul(line))});
    return;
  }
  const std::string_view value = Unquote(UpToNul(Trim(line.substr(eq + 1))));
  keys_.push_back(Key{*current_, Folded(UpToNul(Trim(line.substr(0, eq)))),
                      static_cast<std::size_t>(value.data() - bytes_.data()), value.size(), true});
}

std::optional<std::string_view> ParsedFile::Find(std::string_view section,
                                                 std::string_view key) const {
  const auto s = sections_.find(section);
  if (s == sections_.end()) return std::nullopt;
  const Key wanted{s->second, key};
  const auto k = std::lower_bound(keys_.begin(), keys_.end(), wanted, Before);
  if (k == keys_.end() || Before(wanted, *k) || !k->present) return std::nullopt;
  return std::string_view(bytes_).substr(k->value_offset, k->value_length);
}

struct CachedFile {
  FileStamp stamp;
  std::unique_ptr<const ParsedFile> parsed;
  std::int64_t read_at_ns = 0;  // taken before the stamp and the bytes
  std::uint64_t last_use = 0;

  bool Settled() const {
    const std::int64_t last_change = std::max(stamp.modified_ns, stamp.changed_ns);
    return last_change < read_at_ns - kSettleNs;
  }
};

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

class ProfileCache {
 public:
  // Holds the lock while `use` runs on the file as it is now (null when it
  // cannot be read).
  template <typename Use>
  auto With(const std::filesystem::path& path, Use use) {
    std::lock_guard lock(mutex_);
    return use(Current(path));
  }

  void Clear() {
    std::lock_guard lock(mutex_);
    files_.clear();
  }

 private:
  const ParsedFile* Current(const std::filesystem::path& path) {
    const std::int64_t now = NowNs();
    const std::optional<FileStamp> stamp = StampFile(path);
    auto found = files_.find(path.native());
    if (!stamp) {
      if (found != files_.end()) files_.erase(found);
      return nullptr;
    }
    CachedFile* entry = found == files_.end() ? nullptr : &found->second;
    if (entry != nullptr && entry->stamp == *stamp && entry->Settled()) {
      entry->last_use = ++uses_;
      return entry->parsed.get();
    }

    std::optional<std::string> bytes = ReadWholeFile(path);
    if (!bytes) {
      if (found != files_.end()) files_.erase(found);
      return nullptr;
    }
    if (entry == nullptr) {
      if (files_.size() >= kMaxCachedFiles) EvictLeastRecentlyUsed();
      entry = &files_[path.native()];
    }
    if (entry->parsed == nullptr || entry->parsed->bytes() != *bytes) {
      entry->parsed = std::make_unique<const ParsedFile>(std::move(*bytes));
    }
    // Should the file change after this read while keeping this stamp, the
    // change is recent enough to leave the entry unsettled.
    entry->stamp = *stamp;
    entry->read_at_ns = now;
    entry->last_use = ++uses_;
    return entry->parsed.get();
  }

  void EvictLeastRecentlyUsed() {
    auto oldest = files_.begin();
    for (auto it = files_.begin(); it != files_.end(); ++it) {
      if (it->second.last_use < oldest->second.last_use) oldest = it;
    }
    if (oldest != files_.end()) files_.erase(oldest);
  }

  std::mutex mutex_;
  std::unordered_map<std::filesystem::path::string_type, CachedFile> files_;
  std::uint64_t uses_ = 0;
};

ProfileCache& Cache() {
  static ProfileCache cache;
  return cache;
}

}  // namespace

std::optional<std::string> ReadProfileString(std::string_view section, std::string_view key,
                                             const std::filesystem::path& file, std::size_t size) {
  const std::string section_name = Lower(Trim(section));
  const std::string key_name = Lower(Trim(key));
  return Cache().With(file, [&](const ParsedFile* parsed) -> std::optional<std::string> {
    if (parsed == nullptr) return std::nullopt;
    const std::optional<std::string_view> value = parsed->Find(section_name, key_name);
    if (!value) return std::nullopt;
    const std::size_t limit = size == 0 ? 0 : size - 1;
    return std::string(value->substr(0, CutWithoutSplitting(*value, limit)));
  });
}

void ClearProfileCache() { Cache().Clear(); }

}  // namespace zplport
