#include "settings/profile_file.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <utility>

#include "platform/file_system.h"
#include "platform/text_encoding.h"

namespace zplport {
namespace {

// Ctrl-Z, the end-of-file mark that DOS editors leave at the end of a file,
// counts as white space, as it does for the Windows service.
constexpr std::string_view kSpace = " \t\n\v\f\r\x1A";

std::string_view Trim(std::string_view s) { return Trimmed(s, kSpace); }

// The first `c` in [from, to), or null.
const char* Next(const char* from, const char* to, char c) {
  return static_cast<const char*>(std::memchr(from, c, static_cast<std::size_t>(to - from)));
}

// Calls `visit(offset, width)` for each character of `s`: two bytes for a
// GBK character, one for anything else.
template <typename Visit>
void ForEachCharacter(std::string_view s, Visit visit) {
  for (std::size_t i = 0, width = 0; i < s.size(); i += width) {
    width = GbkCharacterWidth(s, i);
    visit(i, width);
  }
}

// Folds ASCII letters to lower case. The second byte of a GBK character may
// look like a letter ("\x81\x41" and "\x81\x61" are two characters), so
// it is left alone.
void FoldCase(char* text, std::size_t size) {
  ForEachCharacter(std::string_view(text, size), [&](std::size_t i, std::size_t width) {
    if (width == 1 && text[i] >= 'A' && text[i] <= 'Z') text[i] += 'a' - 'A';
  });
}

// `name` folded to lower case, held in `storage` only when it has a capital
// to fold: the names the tool asks for have none.
std::string_view Folded(std::string_view name, std::string& storage) {
  if (std::none_of(name.begin(), name.end(), [](char c) { return c >= 'A' && c <= 'Z'; })) {
    return name;
  }
  storage.assign(name);
  FoldCase(storage.data(), storage.size());
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
// file's bytes (values are never touched), and the index refers to them
// there, so it neither copies nor moves.
class ParsedIniFile {
 public:
  explicit ParsedIniFile(std::string bytes);
  ParsedIniFile(const ParsedIniFile&) = delete;
  ParsedIniFile& operator=(const ParsedIniFile&) = delete;

  // Names must already be folded to lower case. Nothing when the section or
  // key is missing or the key was written without "=".
  std::optional<std::string_view> Find(std::string_view section, std::string_view key) const;

 private:
  struct KeyName {
    std::uint32_t section;
    std::string_view name;
    bool operator==(const KeyName&) const = default;
  };
  struct KeyNameHash {
    std::size_t operator()(const KeyName& k) const {
      return std::hash<std::string_view>()(k.name) ^ (std::size_t{k.section} * 0x9E3779B9u);
    }
  };

  void ParseLine(std::string_view line);
  // `name` folded in place, in bytes_.
  std::string_view FoldedInPlace(std::string_view name);

  std::string bytes_;
  std::unordered_map<std::string_view, std::uint32_t> sections_;  // name -> number
  // A key written without "=" is kept as nothing, so that it still hides
  // later lines of the same name.
  std::unordered_map<KeyName, std::optional<std::string_view>, KeyNameHash> keys_;
  // The section that lines go to; none after a repeated header, whose
  // lines can never be asked for.
  std::optional<std::uint32_t> current_;
};

ParsedIniFile::ParsedIniFile(std::string bytes) : bytes_(std::move(bytes)) {
  // Room for a key a line.
  keys_.reserve(static_cast<std::size_t>(std::count(bytes_.begin(), bytes_.end(), '\n')) + 1);
  // Lines before the first header form the section of the empty name, as
  // with the Windows service, so a later "[]" is a repeated header.
  sections_.emplace(std::string_view(), 0);
  current_ = 0;

  const char* line = bytes_.data();
  const char* const end = line + bytes_.size();
  if (bytes_.starts_with("\xEF\xBB\xBF")) line += 3;
  while (line < end) {
    // A line ends at LF, CR or CR LF.
    const char* eol = Next(line, end, '\n');
    if (eol == nullptr) eol = end;
    if (const char* cr = Next(line, eol, '\r')) eol = cr;
    ParseLine(std::string_view(line, static_cast<std::size_t>(eol - line)));
    if (eol == end) break;
    line = eol + (eol + 1 < end && eol[0] == '\r' && eol[1] == '\n' ? 2 : 1);
  }
}

std::string_view ParsedIniFile::FoldedInPlace(std::string_view name) {
  // A name is never a part of any value.
  char* const at = bytes_.data() + (name.data() - bytes_.data());
  FoldCase(at, name.size());
  return std::string_view(at, name.size());
}

void ParsedIniFile::ParseLine(std::string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() == ';') return;

  if (line.front() == '[') {
    const std::size_t close = FindLastBracket(line);
    if (close != std::string_view::npos) {
      const std::string_view name = UpToNul(Trim(line.substr(1, close - 1)));
      const auto number = static_cast<std::uint32_t>(sections_.size());
      current_.reset();
      if (sections_.try_emplace(FoldedInPlace(name), number).second) current_ = number;
      return;
    }
    // Without "]" the line is no header; like the Windows service we read it
    // as an ordinary line of the current section.
  }

  if (!current_) return;
  const std::size_t eq = line.find('=');
  // The first of a name wins.
  if (eq == std::string_view::npos) {
    keys_.try_emplace({*current_, FoldedInPlace(UpToNul(line))}, std::nullopt);
  } else {
    keys_.try_emplace({*current_, FoldedInPlace(UpToNul(Trim(line.substr(0, eq))))},
                      Unquote(UpToNul(Trim(line.substr(eq + 1)))));
  }
}

std::optional<std::string_view> ParsedIniFile::Find(std::string_view section,
                                                    std::string_view key) const {
  const auto s = sections_.find(section);
  if (s == sections_.end()) return std::nullopt;
  const auto k = keys_.find({s->second, key});
  if (k == keys_.end()) return std::nullopt;
  return k->second;
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
  throw IniFileTooLarge{path, file.size};
}

thread_local IniReadingScope* current_scope = nullptr;

}  // namespace

std::optional<std::string> ReadProfileString(std::string_view section, std::string_view key,
                                             const std::filesystem::path& file, std::size_t size) {
  // Outside a request, a scope for this one read.
  std::optional<IniReadingScope> own;
  if (IniReadingScope::Current() == nullptr) own.emplace();
  const ParsedIniFile* parsed = IniReadingScope::Current()->Reading(file);
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

const ParsedIniFile* IniReadingScope::Reading(const std::filesystem::path& file) {
  const auto started = Clock::now();
  FileReading& reading = readings_[file.native()];
  if (started < reading.fresh_until) return reading.parsed.get();
  // The old reading goes first, so that a large file is never held twice.
  reading.parsed.reset();
  reading.parsed = ReadParsed(file);
  const auto done = Clock::now();
  reading.fresh_until =
      done + std::max<Clock::duration>(kFreshFor, kFreshTimesTheWork * (done - started));
  ++renewals_;
  return reading.parsed.get();
}

const std::filesystem::path& IniReadingScope::Remember(
    std::string_view what, const std::function<std::filesystem::path()>& resolve) {
  auto found = remembered_.find(what);
  if (found == remembered_.end()) found = remembered_.emplace(what, Remembered{}).first;
  if (found->second.renewals != renewals_) found->second = {resolve(), renewals_};
  return found->second.value;
}

}  // namespace zplport
