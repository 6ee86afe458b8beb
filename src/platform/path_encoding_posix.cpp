#include "platform/path_encoding.h"

#include "platform/text_encoding.h"

namespace zplport {

// POSIX paths are bytes: the GBK text is the name.
std::filesystem::path PathFromGbk(std::string_view gbk) { return std::filesystem::path(gbk); }

std::string PathToUtf8(const std::filesystem::path& path) { return GbkToUtf8(path.native()); }

}  // namespace zplport
