// The single failure of a print request. Raised where something goes wrong,
// caught only by RunPrintRequest, which shows its description and ends the
// request; anything else a request raises takes the same path.
#pragma once

#include <stdexcept>
#include <string>

namespace zplport {

class PrintFailure : public std::runtime_error {
 public:
  // `description` is the Chinese text shown to the operator, UTF-8.
  explicit PrintFailure(const std::string& description) : std::runtime_error(description) {}
};

// Descriptions of the conversion failures, in the platform's own wording.
inline constexpr const char* kTypeMismatch = "类型不匹配";
inline constexpr const char* kOverflow = "溢出";
inline constexpr const char* kSubscriptOutOfRange = "下标越界";

// What is shown when something other than a PrintFailure ends a request;
// the second is followed by what the error says of itself, if anything.
inline constexpr const char* kOutOfMemory = "内存不足";
inline constexpr const char* kUnexpectedFailure = "意外错误";

// The description of the exception being handled, in the words above; for
// a PrintFailure its own. Call only inside a catch block. The window
// front-ends use it too, so that nothing a handler raises ends the program.
std::string DescribeCurrentException();

}  // namespace zplport
