// The one place that turns an operating-system error code into the words an
// operator reads. Codes are errno values on POSIX and GetLastError /
// WSAGetLastError values on Windows; resolver codes are getaddrinfo's.
#pragma once

#include <string>

namespace zplport {

// An OS error code; 0 means success.
struct OsError {
  int code = 0;
  explicit operator bool() const { return code != 0; }
};

// Codes every platform must be able to report under the same name, so that
// callers can tell a refusal from a timeout without knowing the platform.
enum class OsErrorKind {
  kOther,
  kRefused,      // nothing listens at the address
  kTimedOut,     // no answer in time
  kUnreachable,  // no route to the host or network
  kReset,        // the peer reset the connection
  kBrokenPipe,   // the peer or reader went away while we wrote
  kWouldBlock,   // try again later; not a failure
  kNotFound,     // no such file or device
};

OsErrorKind KindOf(OsError error);

// Chinese description of a system error, for example "连接被拒绝".
std::string DescribeOsError(OsError error);

// Chinese description of a host-name resolver error code.
std::string DescribeResolverError(int code);

// The error of the last failed system call on this thread.
OsError LastOsError();

// A platform code for each kind, so that layers above can synthesise one
// (for example a timeout that no system call reported).
OsError MakeOsError(OsErrorKind kind);

}  // namespace zplport
