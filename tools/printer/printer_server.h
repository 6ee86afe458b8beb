// A stand-in for a label printer's raw TCP port, so that the network way of
// printing can be tried and tested with no printer at hand.
//
// Every accepted connection is one job: the server reads until the sender
// shuts down its side, keeps the bytes unchanged (and saves them as
// job-0001.zpl, job-0002.zpl, ... when it has an output folder), then closes
// its own side so that the sender sees a clean close. Connections are served
// together on one thread with poll(), so an idle sender never holds up
// another. The server owns its sockets; the jobs it hands out are copies.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace zplport::printer {

// A format is one "^XA" ... "^XZ" block; a label is a format that holds at
// least one field ("^FD"). A label from the tool is two formats: the speed
// setting "^XA^PRB^XZ" and the label proper. A "^XZ" with no open "^XA" and
// a format cut off before its "^XZ" count as nothing. Commands are matched
// in either case, as a printer reads them.
struct LabelCount {
  int labels = 0;
  int formats = 0;
};
LabelCount CountLabels(std::string_view zpl);

struct Job {
  int number = 0;        // same as the number in the file name
  std::string bytes{};   // exactly as received; empty if not retained
  std::size_t size = 0;  // bytes received
  int labels = 0;
  int formats = 0;
  bool reset = false;   // the sender reset the connection before EOF
  std::string path{};   // saved file; empty when kept in memory only
  std::string error{};  // why the file could not be saved, if it could not
};

// One line, no line end, e.g.
//   job 1: 1234 bytes, 2 labels (4 formats) -> out/job-0001.zpl
//   job 2: reset after 10 bytes, 0 labels (1 format) -> out/job-0002.zpl
//   job 3: 5 bytes, 0 labels (0 formats)                (memory only)
//   job 4: 5 bytes, 0 labels (0 formats), not saved: <reason>
std::string FormatJobSummary(const Job& job);

// "job-0001.zpl"; numbers past 9999 just grow wider.
std::string JobFileName(int number);

// The number that follows the highest job-NNNN.zpl in `folder` (1 if none).
int NextJobNumber(const std::filesystem::path& folder);

struct PrinterOptions {
  std::string bind_address = "127.0.0.1";  // numeric IPv4 / IPv6 or a host name
  std::uint16_t port = 0;                  // 0 = any free port
  std::filesystem::path output_folder{};   // empty = keep jobs in memory only
  int max_jobs = 0;                        // stop after this many jobs; 0 = never
  bool retain_bytes = true;                // false: jobs() records keep no bytes (long runs)
};

class PrinterServer {
 public:
  explicit PrinterServer(PrinterOptions options);
  ~PrinterServer();  // stops the thread and closes every socket
  PrinterServer(const PrinterServer&) = delete;
  PrinterServer& operator=(const PrinterServer&) = delete;

  // Creates the output folder, binds and listens. Returns "" or what failed.
  std::string Start();

  // Valid after a successful Start().
  std::uint16_t port() const { return port_; }
  // "127.0.0.1:9100" or "[::1]:9100", as actually bound.
  const std::string& endpoint() const { return endpoint_; }

  // Called on the serving thread after each job has been stored, before the
  // server closes its side of the connection.
  void set_on_job(std::function<void(const Job&)> on_job) { on_job_ = std::move(on_job); }

  // Waits up to `timeout_ms` for activity and handles it. Returns false once
  // max_jobs jobs are done (or before Start()). Not for use while a thread runs.
  bool RunOnce(int timeout_ms);
  // Serves until `stop` turns true or max_jobs jobs are done.
  void Run(const std::atomic<bool>& stop);

  // Serves on a background thread until Stop(), or until max_jobs are done.
  void StartThread();
  void Stop();

  bool done() const;

  // Thread-safe.
  std::vector<Job> jobs() const;
  // True once at least `count` jobs are done; false after `timeout`.
  bool WaitForJobs(std::size_t count, std::chrono::milliseconds timeout) const;

 private:
  struct Connection {
    std::string bytes;
  };

  void AcceptAll();
  // True when the connection is finished (and closed).
  bool ReadFrom(int fd, Connection& connection);
  void FinishJob(int fd, Connection& connection, bool reset);
  // The one place a finished job is handled: saved, recorded, announced.
  void OnJobComplete(Job job);
  void SaveJob(Job& job);
  void Wake();

  PrinterOptions options_;
  int listen_fd_ = -1;
  int wake_read_fd_ = -1;
  int wake_write_fd_ = -1;
  std::uint16_t port_ = 0;
  std::string endpoint_;
  int next_number_ = 1;
  std::map<int, Connection> connections_;  // by socket
  std::function<void(const Job&)> on_job_;

  mutable std::mutex mutex_;
  mutable std::condition_variable jobs_changed_;
  std::vector<Job> jobs_;

  std::atomic<bool> stop_requested_{false};
  std::thread thread_;
};

}  // namespace zplport::printer
