#include "settings/profile_file.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/file_system.h"
#include "platform/path_encoding.h"
#include "platform/text_encoding.h"
#include "printing/print_failure.h"

namespace zplport {
namespace {

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

// The first `c` in [from, to), or null.
const char* Next(const char* from, const char* to, char c) {
  return static_cast<const char*>(std::memchr(from, c, static_cast<std::size_t>(to - from)));
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
void FoldCase(char* text, std::size_t size) {
  ForEachCharacter(std::string_view(text, size), [&](std::size_t i, std::size_t width) {
    char& c = text[i];
    if (width == 1 && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  });
}

std::string Lower(std::string_view s) {
  std::string out(s);
  FoldCase(out.data(), out.size());
  return out;
}

// `name` folded to lower case, held in `storage` only when it has a capital
// to fold: the names the tool asks for have none.
std::string_view Folded(std::string_view name, std::string& storage) {
  if (std::none_of(name.begin(), name.end(), [](char c) { return c >= 'A' && c <= 'Z'; })) {
    return name;
  }
  storage = Lower(name);
  return storage;
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

}  // namespace

// One parsed file: the first section of each name and, in it, the first key
// of each name. Names are folded to lower case where they stand in the
// file's bytes (values are never touched), and keys refer to them by offset.
// Files are at most kMaxIniFileBytes, so offsets fit in 32 bits.
class ParsedIniFile {
 public:
  explicit ParsedIniFile(std::string bytes);

  // Names must already be folded to lower case. Nothing when the section or
  // key is missing or the key was written without "=".
  std::optional<std::string_view> Find(std::string_view section, std::string_view key) const;

 private:
  // A key written without "=" is kept as absent so that it still hides later
  // lines of the same name.
  struct Key {
    std::uint32_t section = 0;
    std::uint32_t name_offset = 0;
    std::uint32_t name_length = 0;
    std::uint32_t value_offset = 0;
    std::uint32_t value_length = 0;
    bool present = false;
  };
  static constexpr std::uint32_t kEmptySlot = 0xFFFFFFFF;

  std::string_view Bytes(std::uint32_t offset, std::uint32_t length) const {
    return std::string_view(bytes_).substr(offset, length);
  }
  std::string_view NameOf(const Key& k) const { return Bytes(k.name_offset, k.name_length); }
  std::uint32_t OffsetOf(std::string_view part) const {
    return static_cast<std::uint32_t>(part.data() - bytes_.data());
  }
  // The slot that holds the key of this section and name, or the empty
  // slot where it would go.
  std::size_t SlotOf(std::uint32_t section, std::string_view name) const;
  // Makes the index at least this large and fills it from keys_.
  void Rehash(std::size_t at_least);

  void ParseLine(std::string_view line);
  void AddKey(std::string_view name, std::string_view value, bool present);

  std::string bytes_;
  std::unordered_map<std::string, std::uint32_t, StringViewHash, std::equal_to<>>
      sections_;           // folded name -> id
  std::vector<Key> keys_;  // the first of each name in each section
  // Open addressing over keys_: indices, or kEmptySlot; a power of two in
  // size, at most two thirds full.
  std::vector<std::uint32_t> slots_;
  mutable std::uint32_t last_found_ = kEmptySlot;  // an index into keys_
  // The section last asked for: a request asks for one over and over.
  mutable const std::pair<const std::string, std::uint32_t>* last_section_ = nullptr;
  // The section that lines go to; none after a repeated header, whose
  // lines can never be asked for.
  std::optional<std::uint32_t> current_;
};

ParsedIniFile::ParsedIniFile(std::string bytes) : bytes_(std::move(bytes)) {
  // Room for a key a line; lines that end in CR alone are not counted, so
  // the index still grows when it must.
  std::size_t lines = 1;
  for (const char* p = bytes_.data(); (p = Next(p, bytes_.data() + bytes_.size(), '\n'));) {
    ++lines, ++p;
  }
  keys_.reserve(lines);
  Rehash(lines + lines / 2);
  // Lines before the first header form the section of the empty name, as
  // with the Windows service, so a later "[]" is a repeated header.
  sections_.emplace(std::string(), 0);
  current_ = 0;

  std::string_view text(bytes_);
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::size_t pos = 0;
  const char* const end = text.data() + text.size();
  while (pos < text.size()) {
    // A line ends at LF, CR or CR LF.
    const char* const start = text.data() + pos;
    const char* eol = Next(start, end, '\n');
    if (eol == nullptr) eol = end;
    if (const char* cr = Next(start, eol, '\r')) eol = cr;
    ParseLine(text.substr(pos, static_cast<std::size_t>(eol - start)));
    std::size_t eol_pos = pos + static_cast<std::size_t>(eol - start);
    pos = eol_pos + 1;
    if (eol_pos < text.size() && text[eol_pos] == '\r' && pos < text.size() && text[pos] == '\n') {
      ++pos;
    }
  }
}

std::size_t ParsedIniFile::SlotOf(std::uint32_t section, std::string_view name) const {
  // FNV-1a over the section and the name.
  std::uint64_t hash = 14695981039346656037u ^ section;
  for (const char c : name) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211u;
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t slot = static_cast<std::size_t>(hash ^ (hash >> 32)) & mask;;
       slot = (slot + 1) & mask) {
    const std::uint32_t index = slots_[slot];
    if (index == kEmptySlot) return slot;
    const Key& key = keys_[index];
    if (key.section == section && NameOf(key) == name) return slot;
  }
}

void ParsedIniFile::ParseLine(std::string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() == ';') return;

  if (line.front() == '[') {
    const std::size_t close = FindLastBracket(line);
    if (close != std::string_view::npos) {
      const std::string_view name = UpToNul(Trim(line.substr(1, close - 1)));
      current_.reset();
      const auto id = static_cast<std::uint32_t>(sections_.size());
      if (sections_.try_emplace(Lower(name), id).second) current_ = id;
      return;
    }
    // Without "]" the line is no header; like the Windows service we read it
    // as an ordinary line of the current section.
  }

  if (!current_) return;
  const std::size_t eq = line.find('=');
  if (eq == std::string_view::npos) {
    AddKey(UpToNul(line), {}, false);
    return;
  }
  AddKey(UpToNul(Trim(line.substr(0, eq))), Unquote(UpToNul(Trim(line.substr(eq + 1)))), true);
}

void ParsedIniFile::Rehash(std::size_t at_least) {
  std::size_t size = 16;
  while (size < at_least) size *= 2;
  slots_.assign(size, kEmptySlot);
  for (std::uint32_t index = 0; index < keys_.size(); ++index) {
    slots_[SlotOf(keys_[index].section, NameOf(keys_[index]))] = index;
  }
}

void ParsedIniFile::AddKey(std::string_view name, std::string_view value, bool present) {
  if (3 * (keys_.size() + 1) > 2 * slots_.size()) Rehash(2 * slots_.size());
  Key key{*current_, OffsetOf(name), static_cast<std::uint32_t>(name.size())};
  // The name is never a part of any value, so it can be folded in place.
  FoldCase(bytes_.data() + key.name_offset, key.name_length);
  const std::size_t slot = SlotOf(key.section, NameOf(key));
  if (slots_[slot] != kEmptySlot) return;  // the first of a name wins
  if (present) {
    key.value_offset = OffsetOf(value);
    key.value_length = static_cast<std::uint32_t>(value.size());
    key.present = true;
  }
  slots_[slot] = static_cast<std::uint32_t>(keys_.size());
  keys_.push_back(key);
}

std::optional<std::string_view> ParsedIniFile::Find(std::string_view section,
                                                    std::string_view key) const {
  if (last_section_ == nullptr || last_section_->first != section) {
    const auto found = sections_.find(section);
    if (found == sections_.end()) return std::nullopt;
    last_section_ = &*found;  // map nodes stay put
  }
  const auto* const s = last_section_;
  // Lines are mostly asked for in the order they stand in the file; the key
  // after the last one found (the first key, before any) is tried before
  // the index.
  std::uint32_t index = last_found_ == kEmptySlot ? 0 : last_found_ + 1;
  if (index >= keys_.size() || keys_[index].section != s->second || NameOf(keys_[index]) != key) {
    index = slots_[SlotOf(s->second, key)];
    if (index == kEmptySlot) return std::nullopt;
  }
  last_found_ = index;
  if (!keys_[index].present) return std::nullopt;
  return Bytes(keys_[index].value_offset, keys_[index].value_length);
}

namespace {

// Reads and parses `path`; null when it cannot be read.
std::unique_ptr<const ParsedIniFile> ReadParsed(const std::filesystem::path& path) {
  WholeFile file = ReadWholeFile(path, kMaxIniFileBytes);
  switch (file.status) {
    case WholeFile::Status::kRead:
      return std::make_unique<const ParsedIniFile>(std::move(file.bytes));
    case WholeFile::Status::kUnreadable:
      return nullptr;
    case WholeFile::Status::kTooLarge:
      break;
  }
  throw PrintFailure("无法读取 " + PathToUtf8(path) + "：文件太大（" + std::to_string(file.size) +
                     " 字节），INI 文件最大 " + std::to_string(kMaxIniFileBytes >> 20) + " MiB");
}

thread_local IniReadingScope* current_scope = nullptr;

}  // namespace

std::optional<std::string> ReadProfileString(std::string_view section, std::string_view key,
                                             const std::filesystem::path& file, std::size_t size) {
  std::unique_ptr<const ParsedIniFile> own;
  const ParsedIniFile* parsed = nullptr;
  if (IniReadingScope* scope = IniReadingScope::Current()) {
    parsed = scope->Reading(file);
  } else {
    own = ReadParsed(file);
    parsed = own.get();
  }
  if (parsed == nullptr) return std::nullopt;
  std::string section_storage, key_storage;
  const std::optional<std::string_view> value =
      parsed->Find(Folded(Trim(section), section_storage), Folded(Trim(key), key_storage));
  if (!value) return std::nullopt;
  const std::size_t limit = size == 0 ? 0 : size - 1;
  return std::string(value->substr(0, GbkPrefixLength(*value, limit)));
}

IniReadingScope::IniReadingScope() : outer_(current_scope) { current_scope = this; }

IniReadingScope::~IniReadingScope() { current_scope = outer_; }

IniReadingScope* IniReadingScope::Current() { return current_scope; }

CoarseClock::duration IniReadingScope::LifetimeOf(CoarseClock::duration took) {
  // A file so large that reading it takes a good part of the lifetime
  // would otherwise be read over and over, a label at a time.
  return std::max<CoarseClock::duration>(kReadingLifetime, 10 * took);
}

const ParsedIniFile* IniReadingScope::Reading(const std::filesystem::path& file) {
  const auto found = readings_.find(file.native());
  if (found != readings_.end() && Clock::now() < found->second.fresh_until) {
    return found->second.parsed.get();
  }
  // The old reading goes first, so that a large file is never held twice.
  if (found != readings_.end()) readings_.erase(found);
  const auto started = Clock::now();
  std::unique_ptr<const ParsedIniFile> parsed = ReadParsed(file);
  const auto done = Clock::now();
  FileReading& reading = readings_[file.native()];
  reading.parsed = std::move(parsed);
  reading.fresh_until = done + LifetimeOf(done - started);
  return reading.parsed.get();
}

const std::filesystem::path& IniReadingScope::Remember(
    std::string_view what, const std::function<std::filesystem::path()>& resolve) {
  const auto found = remembered_.find(what);
  if (found != remembered_.end() && Clock::now() - found->second.resolved_at <= kReadingLifetime) {
    return found->second.value;
  }
  Remembered& entry = found != remembered_.end() ? found->second : remembered_[std::string(what)];
  entry.value = resolve();
  entry.resolved_at = Clock::now();
  return entry.value;
}

}  // namespace zplport
