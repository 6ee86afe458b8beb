#include "settings/ini_reader.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "settings/profile_file.h"

namespace zplport::modINI {
namespace {

constexpr std::string_view kLineBreakMarker = "<S:BR>";

std::string ReplaceLineBreakMarkers(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  std::size_t pos = 0;
  for (;;) {
    const std::size_t found = value.find(kLineBreakMarker, pos);
    if (found == std::string_view::npos) break;
    out.append(value, pos, found - pos);
    out.append("\r\n");
    pos = found + kLineBreakMarker.size();
  }
  out.append(value, pos);
  return out;
}

}  // namespace

std::string GetIniValue(std::string_view section, std::string_view key,
                        const std::filesystem::path& file, std::string_view default_value,
                        std::int32_t size) {
  // A buffer of no characters receives nothing.
  const std::size_t buffer_size = size > 0 ? static_cast<std::size_t>(size) : 0;
  std::optional<std::string> value = ReadProfileString(section, key, file, buffer_size);

  // Everything from the first ";" on is a comment; the text before it is kept
  // exactly, trailing spaces included.
  if (value) value->resize(std::min(value->find(';'), value->size()));

  if (!value || value->empty()) return std::string(default_value);
  if (value->find(kLineBreakMarker) == std::string::npos) return std::move(*value);
  return ReplaceLineBreakMarkers(*value);
}

}  // namespace zplport::modINI
