// A loopback printer for tests that can misbehave on purpose. It listens on
// an ephemeral port of 127.0.0.1 or ::1, serves its connections on a thread
// of its own and keeps the bytes of every connection that ended. The
// destructor stops it within about a second.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace zplport::testing {

class FaultPrinter {
 public:
  enum class Behaviour {
    kAcceptAndRead,   // reads to end-of-file, then closes
    kCloseAtOnce,     // closes every connection as soon as it is accepted
    kResetAfter,      // reads `amount` bytes, then resets the connection
    kResetAfterAll,   // reads to end-of-file, then resets instead of closing
    kStopReading,     // small receive buffer, never reads, never closes
    kSlowReader,      // reads `amount` bytes every kSlowInterval, closes at end-of-file
    kSlowNeverClose,  // reads as kSlowReader, but keeps its side open as kNeverClose
    kNeverClose,      // reads to end-of-file but keeps its side open until stopped
    kHalfClose,       // ends its sending side on accepting, then reads to end-of-file
    // Listens with a backlog of one already taken by a connection of its own,
    // so the system drops further handshakes until `accept_delay` has passed
    // since construction; then serves as kAcceptAndRead. A client's connect
    // completes at its next SYN retransmission (about 1 s, 3 s, 7 s after it
    // started). Not supported on Windows (ok() is false).
    kAcceptLate,
  };
  static constexpr std::size_t kSlowChunk = 8192;
  static constexpr std::chrono::milliseconds kSlowInterval{25};

  // `address` is "127.0.0.1" or "::1". When it cannot listen (no IPv6
  // loopback, say) ok() is false and port() is 0. `amount`: the bytes that
  // kResetAfter reads before its reset; those that the slow readers read at
  // each beat (kSlowChunk when 0).
  explicit FaultPrinter(Behaviour behaviour, std::string_view address = "127.0.0.1",
                        std::size_t amount = 0,
                        std::chrono::milliseconds accept_delay = std::chrono::milliseconds(0));
  ~FaultPrinter();
  FaultPrinter(const FaultPrinter&) = delete;
  FaultPrinter& operator=(const FaultPrinter&) = delete;

  bool ok() const { return listener_ >= 0; }
  int port() const { return port_; }

  // Waits until `count` connections have ended (been closed or reset by
  // either side); false when the timeout comes first.
  bool WaitForJobs(std::size_t count, std::chrono::milliseconds timeout);

  // The bytes received on each ended connection, in the order they ended.
  std::vector<std::string> jobs() const;
  // Hands out the ended connections' bytes and forgets them, so a long run
  // keeps no history; WaitForJobs then counts from zero again.
  std::vector<std::string> TakeJobs();
  // Connections accepted so far.
  std::size_t connections() const;
  // Bytes received so far on all connections, ended or not.
  std::size_t bytes_received() const;

  // Stops serving and closes every connection; the destructor does it too.
  void Stop();

 private:
  void Serve();
  void Finish(int fd, std::string bytes, bool reset);

  const Behaviour behaviour_;
  const std::size_t amount_;
  const std::chrono::steady_clock::time_point accept_from_;
  int listener_ = -1;
  int filler_ = -1;  // kAcceptLate: our own connection that fills the backlog
  int port_ = 0;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool stop_ = false;
  std::vector<std::string> jobs_;
  std::size_t connections_ = 0;
  std::size_t bytes_received_ = 0;
  std::thread thread_;
};

// A port on `address` where nothing listens: bound for a moment to learn a
// free number, then released. 0 when the address is not available.
int RefusingPort(std::string_view address = "127.0.0.1");

}  // namespace zplport::testing
