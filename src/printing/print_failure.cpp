#include "printing/print_failure.h"

#include <exception>
#include <new>

#include "platform/path_encoding.h"
#include "settings/profile_file.h"

namespace zplport {

std::string DescribeCurrentException() {
  try {
    throw;
  } catch (const PrintFailure& failure) {
    return failure.what();
  } catch (const IniFileTooLarge& file) {
    return "无法读取 " + PathToUtf8(file.file) + "：文件太大（" + std::to_string(file.size) +
           " 字节），INI 文件最大 " + std::to_string(kMaxIniFileBytes >> 20) + " MiB";
  } catch (const std::bad_alloc&) {
    return kOutOfMemory;
  } catch (const std::exception& error) {
    return std::string(kUnexpectedFailure) + "：" + error.what();
  } catch (...) {
    return kUnexpectedFailure;
  }
}

}  // namespace zplport
