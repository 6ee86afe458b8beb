// A stand-in for a label printer's raw TCP port, so that the network way of
// printing can be tried and tested with no printer at hand.
//
// Every connection that sends at least one byte is one job: the server
// reads until the sender shuts down its side, writes the bytes unchanged to
// job-0001.zpl, job-0002.zpl, ... as they arrive (in memory only when it
// has no output folder), then closes its own side so that the sender sees a
// clean close. A connection that sends nothing (a port probe) is only
// logged. A host status request "~HS" is answered on the same connection as
// soon as it arrives.
//
// Two threads: the serving thread handles every connection with poll(), so
// that neither an idle sender nor a slow label holds up another; a worker
// reads each stored job back, draws its labels (job-0001-1.png, ...) and
// announces it. The server owns its sockets; the jobs it hands out are
// copies.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "printer/job_files.h"
#include "printer/job_renderer.h"
#include "printer/job_summary.h"
#include "printer/status.h"
#include "printer/zpl_parser.h"  // CountLabels

namespace zplport::printer {

struct PrinterOptions {
  std::string bind_address = "127.0.0.1";  // numeric IPv4 / IPv6 or a host name
  std::uint16_t port = 0;                  // 0 = any free port
  std::filesystem::path output_folder{};   // empty = keep jobs in memory only
  int max_jobs = 0;                        // stop after this many jobs; 0 = never
  bool retain_bytes = true;                // false: jobs() records keep no bytes (long runs)
  int dpi = 203;                           // resolution of rendered labels: 203, 300 or 600
  bool render = true;                      // PNGs beside saved jobs (needs an output folder)
  std::string encoding = "gbk";            // field text without ^CI: gbk, utf-8 or cp1252
  // A connection that sends no byte for this long is closed; 0 = never.
  std::chrono::milliseconds idle_timeout{std::chrono::seconds(60)};
  // The most of one job that is read back to be drawn, or kept in memory
  // when there is no output folder. A larger job is saved whole, and its
  // labels are counted in this much of it and not drawn.
  std::size_t max_job_bytes = std::size_t{64} << 20;
};

class PrinterServer {
 public:
  explicit PrinterServer(PrinterOptions options);
  // Stops both threads and closes every socket. A job being drawn is
  // finished; stored jobs still waiting to be drawn are not announced.
  ~PrinterServer();
  PrinterServer(const PrinterServer&) = delete;
  PrinterServer& operator=(const PrinterServer&) = delete;

  // Creates the output folder, binds and listens. Returns "" or what failed.
  std::string Start();

  // Valid after a successful Start().
  std::uint16_t port() const { return port_; }
  // "127.0.0.1:9100" or "[::1]:9100", as actually bound.
  const std::string& endpoint() const { return endpoint_; }

  // Set before serving. Called on the worker thread once a job's labels are
  // drawn, in the order the jobs were stored; the sender may have seen the
  // close long before. A slow callback delays only the jobs behind it.
  void set_on_job(std::function<void(const Job&)> on_job) { on_job_ = std::move(on_job); }
  // Set before serving. Called on the serving thread with one line about a
  // connection that is not a job (a probe, an idle client) or about
  // connections that cannot be accepted, e.g.
  //   probe from 127.0.0.1:40312 (connection closed without data)
  void set_on_log(std::function<void(const std::string&)> on_log) { on_log_ = std::move(on_log); }

  // Waits up to `timeout_ms` for activity and handles it. Returns false once
  // max_jobs jobs are done, drawn and announced (or before Start()). Not for
  // use while the serving thread runs.
  bool RunOnce(int timeout_ms);
  // Serves until `stop` turns true or max_jobs jobs are done.
  void Run(const std::atomic<bool>& stop);

  // Serves on a background thread until Stop(), or until max_jobs are done.
  void StartThread();
  void Stop();

  bool done() const;

  // Thread-safe. Jobs that are drawn and announced.
  std::vector<Job> jobs() const;
  // True once at least `count` jobs are drawn and announced; false after
  // `timeout`.
  bool WaitForJobs(std::size_t count, std::chrono::milliseconds timeout) const;

 private:
  using Clock = std::chrono::steady_clock;
  enum class Ending { kEndOfFile, kReset, kIdle };
  struct Connection {
    std::string peer;  // "127.0.0.1:40312"
    // Set at the first byte, so that probes take no number.
    int number = 0;
    int file = -1;      // the job file, open while the job arrives
    std::string path;   // the job file's path; empty when kept in memory
    std::string error;  // why the job file could not be (fully) written
    bool in_memory = false;
    std::string bytes;  // up to max_job_bytes, when kept in memory
    std::size_t size = 0;
    StatusRequestScanner status_requests;
    int status_replies = 0;
    std::string reply;             // status replies not yet sent
    bool finished = false;         // the job is stored; only the reply is left to send
    Clock::time_point close_by{};  // when finished: give up sending then
    Clock::time_point idle_by{};   // when not finished: closed if no byte by then
  };

  bool TakingJobs() const;
  void AcceptAll();
  // True when the connection is finished (and closed).
  bool ReadFrom(int fd, Connection& connection);
  void Store(Connection& connection, std::string_view piece);
  void OpenJobFile(Connection& connection);
  // Sends what it can of the pending reply without waiting. False when the
  // peer cannot take it any more.
  bool SendReply(int fd, Connection& connection);
  // True when the connection is closed.
  bool FinishJob(int fd, Connection& connection, Ending ending);
  void CloseConnection(int fd);
  void Log(const std::string& line) const;
  // Hands a stored job to the worker.
  void Enqueue(Job job);
  void Work();
  // Reads the stored job back as a printer would and draws its labels
  // beside the file.
  void Describe(Job& job);
  void Wake();

  PrinterOptions options_;
  int listen_fd_ = -1;
  int wake_read_fd_ = -1;
  int wake_write_fd_ = -1;
  std::uint16_t port_ = 0;
  std::string endpoint_;
  int next_number_ = 1;
  int stored_ = 0;                         // jobs handed to the worker
  std::map<int, Connection> connections_;  // by socket
  std::function<void(const Job&)> on_job_;
  std::function<void(const std::string&)> on_log_;
  // Accepting stops for a while when it fails for want of descriptors or
  // memory: the listener stays readable, and polling it would spin.
  Clock::time_point accept_resumes_{};
  std::chrono::milliseconds accept_pause_{0};
  JobRenderer renderer_;  // the printer's one state, for the server's lifetime

  mutable std::mutex mutex_;
  mutable std::condition_variable jobs_changed_;
  std::vector<Job> jobs_;
  std::deque<Job> queue_;  // stored, not yet drawn
  std::condition_variable queue_changed_;
  bool worker_stop_ = false;
  std::thread worker_;

  std::atomic<bool> stop_requested_{false};
  std::thread thread_;
};

}  // namespace zplport::printer
