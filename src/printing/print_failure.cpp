#include "printing/print_failure.h"

#include <exception>
#include <new>

namespace zplport {

std::string DescribeCurrentException() {
  try {
    throw;
  } catch (const PrintFailure& failure) {
    return failure.what();
  } catch (const std::bad_alloc&) {
    return kOutOfMemory;
  } catch (const std::exception& error) {
    return std::string(kUnexpectedFailure) + "：" + error.what();
  } catch (...) {
    return kUnexpectedFailure;
  }
}

}  // namespace zplport
