// The socket address of a literal loopback address and port, for the test
// servers and clients that stage printers (POSIX only).
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace zplport::testing {

// Family 0 and *length 0 when `address` is not an IPv4 or IPv6 literal.
inline sockaddr_storage LoopbackAddress(std::string_view address, int port, socklen_t* length) {
  sockaddr_storage storage{};
  const std::string text(address);
  auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
  *length = 0;
  if (inet_pton(AF_INET, text.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(static_cast<std::uint16_t>(port));
    *length = sizeof(sockaddr_in);
  } else if (inet_pton(AF_INET6, text.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(static_cast<std::uint16_t>(port));
    *length = sizeof(sockaddr_in6);
  }
  return storage;
}

}  // namespace zplport::testing
