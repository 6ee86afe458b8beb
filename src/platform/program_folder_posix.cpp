#include "platform/program_folder.h"

#include <unistd.h>

#include <string>
#include <system_error>

namespace zplport::detail {

std::filesystem::path ExecutableFolder() {
  std::string target(256, '\0');
  for (;;) {
    const ssize_t length = readlink("/proc/self/exe", target.data(), target.size());
    if (length < 0) {
      // Without /proc the best guess left is the folder we were started in.
      std::error_code ignored;
      return std::filesystem::current_path(ignored);
    }
    if (static_cast<std::size_t>(length) < target.size()) {
      target.resize(static_cast<std::size_t>(length));
      break;
    }
    target.resize(target.size() * 2);  // possibly truncated: ask again with more room
  }
  return std::filesystem::path(target).parent_path();
}

}  // namespace zplport::detail
