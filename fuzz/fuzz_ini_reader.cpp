// The INI reader on arbitrary files and names. The input is
//   <size byte> <section> "\n" <key> "\n" <file bytes>
// The size byte picks the read buffer: 65536 when its top bit is clear,
// else 1 to 64, so that cutting a value is exercised too.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "settings/ini_reader.h"
#include "settings/profile_file.h"

namespace {

const std::filesystem::path& IniPath() {
  static const std::filesystem::path path = [] {
    // Memory-backed when there is such a folder: on ext4 every rewrite of a
    // truncated file is flushed to disk at close, which slows a run 20-fold.
    std::error_code error;
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", error)
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    std::string folder = (base / "zplport-fuzz-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr) abort();
    static std::string made;
    made = folder;
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(made, ignored);
    });
    return std::filesystem::path(folder) / "file.ini";
  }();
  return path;
}

std::string_view NextLine(std::string_view& rest) {
  const std::size_t end = rest.find('\n');
  const std::string_view line = rest.substr(0, end);
  rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  return line;
}

bool IsGbkLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "broken: %s\n", what);
    abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t size_byte = data[0];
  const std::size_t buffer = (size_byte & 0x80) ? 1 + (size_byte & 0x3F) : 65536;
  std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string section(NextLine(rest));
  const std::string key(NextLine(rest));
  {
    std::ofstream out(IniPath(), std::ios::binary | std::ios::trunc);
    out.write(rest.data(), static_cast<std::streamsize>(rest.size()));
  }
  const std::filesystem::path& path = IniPath();

  // A request's shared reading must answer what a read of the bytes on
  // disk answers.
  const std::optional<std::string> cut = zplport::ReadProfileString(section, key, path, buffer);
  {
    zplport::IniReadingScope request;
    // Another read first, so that the one compared is served from the
    // shared reading.
    zplport::ReadProfileString(key, section, path, buffer);
    const std::optional<std::string> shared =
        zplport::ReadProfileString(section, key, path, buffer);
    Check(cut == shared, "a read inside a request differs from a read of the file");
  }
  const std::optional<std::string> whole =
      zplport::ReadProfileString(section, key, path, std::size_t{1} << 30);
  Check(cut.has_value() == whole.has_value(), "the buffer size changed whether a key exists");
  if (cut) {
    Check(cut->size() <= buffer - 1, "a value longer than the buffer");
    Check(whole->compare(0, cut->size(), *cut) == 0, "a cut value is not a prefix of the whole");
    if (cut->size() < whole->size()) {
      // Cut to the buffer, less one byte only to keep a GBK pair whole.
      Check(cut->size() + 1 >= buffer - 1, "a value cut shorter than needed");
      if (cut->size() + 1 == buffer - 1) {
        Check(IsGbkLead(static_cast<unsigned char>((*whole)[cut->size()])),
              "a byte dropped that starts no GBK character");
      }
    }
    Check(cut->find('\n') == std::string::npos && cut->find('\r') == std::string::npos,
          "a value runs over a line end");
  }

  const std::string value =
      zplport::modINI::GetIniValue(section, key, path, "", static_cast<std::int32_t>(buffer));
  Check(value.find(';') == std::string::npos, "a comment survived");
  Check(value.find("<S:BR>") == std::string::npos, "a line-break marker survived");
  Check(value.empty() == (!cut || cut->substr(0, cut->find(';')).empty()),
        "empty where the raw value is not, or the other way round");
  return 0;
}
