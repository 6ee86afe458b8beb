// A stand-in for a label printer's raw TCP port, so that the network way of
// printing can be tried and tested with no printer at hand.
//
// Every accepted connection is one job: the server reads until the sender
// shuts down its side, keeps the bytes unchanged (and saves them as
// job-0001.zpl, job-0002.zpl, ... when it has an output folder, with a PNG
// image of every label beside them: job-0001-1.png, ...), then closes its
// own side so that the sender sees a clean close. A host status request
// "~HS" is answered on the same connection as soon as it arrives. Connections
// are served together on one thread with poll(), so an idle sender never
// holds up another. The server owns its sockets; the jobs it hands out are
// copies.
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

#include "printer/job_renderer.h"
#include "printer/status.h"
#include "printer/zpl_parser.h"  // CountLabels

namespace zplport::printer {

struct Job {
  int number = 0;        // same as the number in the file name
  std::string bytes{};   // exactly as received; empty if not retained
  std::size_t size = 0;  // bytes received
  int labels = 0;
  int formats = 0;
  bool reset = false;   // the sender reset the connection before EOF
  std::string path{};   // saved file; empty when kept in memory only
  std::string error{};  // why the file could not be saved, if it could not
  // What the job asked of the printer (zpl_parser.h).
  std::vector<long> copies{};               // ^PQ of each label
  std::string darkness{};                   // ~SD, as sent
  std::string speed{};                      // ^PR
  std::string charset{};                    // ^CI
  int status_replies = 0;                   // "~HS" requests answered
  std::vector<std::string> pngs{};          // label images written beside `path`
  std::vector<std::string> render_notes{};  // why labels were not (all) rendered
  std::vector<std::string> unsupported{};   // commands read but not drawn, e.g. "^BC"
  std::vector<std::string> warnings{};      // odd input: clamped numbers, cut-off formats
};

// One line, no line end, e.g.
//   job 1: 1234 bytes, 2 labels (4 formats) -> out/job-0001.zpl
//   job 2: reset after 10 bytes, 0 labels (1 format) -> out/job-0002.zpl
//   job 3: 5 bytes, 0 labels (0 formats)                (memory only)
//   job 4: 5 bytes, 0 labels (0 formats), not saved: <reason>
// followed by what is known of the job, each part only when there is any:
//   , copies 1, darkness 15, speed B, charset 28, ~HS answered,
//   rendered 2 PNG (job-0001-1.png, job-0001-2.png), <why not rendered>,
//   unsupported: ^BC ^BY, warnings: <what>; <what>
// ("copies 1/3" when the labels differ, "~HS answered 2 times").
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
  int dpi = 203;                           // resolution of rendered labels: 203, 300 or 600
  bool render = true;                      // PNGs beside saved jobs (needs an output folder)
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

  // Called on the serving thread after each job has been stored and its
  // labels rendered, before the server closes its side of the connection.
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
    StatusRequestScanner status_requests;
    int status_replies = 0;
    std::string reply;      // status replies not yet sent
    bool finished = false;  // the job is done; only the reply is left to send
    std::chrono::steady_clock::time_point close_by{};  // when finished: give up sending then
  };

  void AcceptAll();
  // True when the connection is finished (and closed).
  bool ReadFrom(int fd, Connection& connection);
  // Sends what it can of the pending reply without waiting. False when the
  // peer cannot take it any more.
  bool SendReply(int fd, Connection& connection);
  // True when the connection is closed.
  bool FinishJob(int fd, Connection& connection, bool reset);
  void CloseConnection(int fd);
  // The one place a finished job is handled: saved, recorded, announced.
  void OnJobComplete(Job job);
  void SaveJob(Job& job);
  // Reads the job as a printer would and renders its labels beside the file.
  void Describe(Job& job);
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
  JobRenderer renderer_;

  mutable std::mutex mutex_;
  mutable std::condition_variable jobs_changed_;
  std::vector<Job> jobs_;

  std::atomic<bool> stop_requested_{false};
  std::thread thread_;
};

}  // namespace zplport::printer
