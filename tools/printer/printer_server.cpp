#include "printer/printer_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>

namespace zplport::printer {
namespace {

// Reads per connection per pass are capped so that one fast sender cannot
// starve the others.
constexpr std::size_t kReadChunk = std::size_t{64} * 1024;
constexpr int kReadsPerPass = 16;
// Status replies owed to a peer that does not read them are dropped beyond
// this, and given up on this long after its job is done.
constexpr std::size_t kMaxPendingReply = std::size_t{64} * 1024;
constexpr auto kReplyGrace = std::chrono::seconds(5);
// How long accepting pauses when it fails: doubled at each failure in a row.
constexpr std::chrono::milliseconds kMinAcceptPause{100};
constexpr std::chrono::milliseconds kMaxAcceptPause{1000};
std::string ErrnoText(int error) { return std::generic_category().message(error); }

bool SetNonBlocking(int fd) {
  const int flags = fcntl(fd, F_GETFL, 0);
  return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0 &&
         fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

void CloseFd(int& fd) {
  if (fd >= 0) {
    close(fd);
    fd = -1;
  }
}

// "127.0.0.1:9100" / "[::1]:9100" for a bound socket.
std::string EndpointOf(const sockaddr_storage& address, socklen_t length) {
  char host[NI_MAXHOST] = {};
  char service[NI_MAXSERV] = {};
  if (getnameinfo(reinterpret_cast<const sockaddr*>(&address), length, host, sizeof host, service,
                  sizeof service, NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
    return "?";
  }
  if (address.ss_family == AF_INET6) return "[" + std::string(host) + "]:" + service;
  return std::string(host) + ":" + service;
}

std::string Plural(std::size_t n, const char* word) {
  return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

// "64 MiB", "1000 bytes".
std::string SizeText(std::size_t bytes) {
  constexpr std::size_t kMiB = std::size_t{1} << 20;
  if (bytes >= kMiB && bytes % kMiB == 0) return std::to_string(bytes / kMiB) + " MiB";
  return Plural(bytes, "byte");
}

// "60 s", "250 ms".
std::string DurationText(std::chrono::milliseconds duration) {
  if (duration.count() % 1000 == 0) return std::to_string(duration.count() / 1000) + " s";
  return std::to_string(duration.count()) + " ms";
}

}  // namespace

PrinterServer::PrinterServer(PrinterOptions options)
    : options_(std::move(options)),
      renderer_(RendererOptions{.dpi = options_.dpi, .encoding = options_.encoding}) {}

PrinterServer::~PrinterServer() {
  Stop();
  {
    std::lock_guard lock(mutex_);
    worker_stop_ = true;
  }
  queue_changed_.notify_all();
  if (worker_.joinable()) worker_.join();
  for (auto& [fd, connection] : connections_) {
    close(fd);
    CloseFd(connection.file);
  }
  CloseFd(listen_fd_);
  CloseFd(wake_read_fd_);
  CloseFd(wake_write_fd_);
}

std::string PrinterServer::Start() {
  if (listen_fd_ >= 0) return "already started";
  const std::string host = options_.bind_address.empty() ? "127.0.0.1" : options_.bind_address;
  const std::string wanted = host + " port " + std::to_string(options_.port);

  if (!options_.output_folder.empty()) {
    std::error_code error;
    std::filesystem::create_directories(options_.output_folder, error);
    if (error) {
      return "cannot create output folder " + options_.output_folder.string() + ": " +
             error.message();
    }
    next_number_ = NextJobNumber(options_.output_folder);
  }

  int wake[2];
  if (pipe(wake) != 0) return "cannot create wake pipe: " + ErrnoText(errno);
  wake_read_fd_ = wake[0];
  wake_write_fd_ = wake[1];
  if (!SetNonBlocking(wake_read_fd_) || !SetNonBlocking(wake_write_fd_)) {
    return "cannot set up wake pipe: " + ErrnoText(errno);
  }

  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(options_.port);
  if (const int status = getaddrinfo(host.c_str(), service.c_str(), &hints, &found); status != 0) {
    return "cannot listen on " + wanted + ": " + gai_strerror(status);
  }
  std::string failure = "no usable address";
  for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
    const int fd = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (fd < 0) {
      failure = ErrnoText(errno);
      continue;
    }
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (a->ai_family == AF_INET6) setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    if (bind(fd, a->ai_addr, a->ai_addrlen) != 0 || listen(fd, SOMAXCONN) != 0 ||
        !SetNonBlocking(fd)) {
      failure = ErrnoText(errno);
      close(fd);
      continue;
    }
    listen_fd_ = fd;
    break;
  }
  freeaddrinfo(found);
  if (listen_fd_ < 0) return "cannot listen on " + wanted + ": " + failure;

  sockaddr_storage bound{};
  socklen_t length = sizeof bound;
  getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&bound), &length);
  port_ = bound.ss_family == AF_INET6
              ? ntohs(reinterpret_cast<const sockaddr_in6*>(&bound)->sin6_port)
              : ntohs(reinterpret_cast<const sockaddr_in*>(&bound)->sin_port);
  endpoint_ = EndpointOf(bound, length);
  return "";
}

bool PrinterServer::done() const {
  if (options_.max_jobs <= 0) return false;
  std::lock_guard lock(mutex_);
  return jobs_.size() >= static_cast<std::size_t>(options_.max_jobs);
}

bool PrinterServer::TakingJobs() const {
  return options_.max_jobs <= 0 || stored_ < options_.max_jobs;
}

bool PrinterServer::RunOnce(int timeout_ms) {
  if (listen_fd_ < 0 || done()) return false;

  const auto now = Clock::now();
  // Waking up in time for the next deadline: a reply nobody reads, an idle
  // sender, the end of a pause in accepting.
  auto wake_by = [&](Clock::time_point when) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(when - now).count();
    const int left_ms = static_cast<int>(std::clamp<std::int64_t>(left, 0, 24 * 3600 * 1000));
    if (timeout_ms < 0 || left_ms < timeout_ms) timeout_ms = left_ms;
  };
  const bool taking = TakingJobs();
  const bool idle_limit = options_.idle_timeout.count() > 0;
  std::vector<pollfd> watched;
  watched.push_back({wake_read_fd_, POLLIN, 0});
  const bool accepting = taking && now >= accept_resumes_;
  if (accepting) {
    watched.push_back({listen_fd_, POLLIN, 0});
  } else if (taking) {
    wake_by(accept_resumes_);
  }
  const std::size_t first_connection = watched.size();
  for (const auto& [fd, connection] : connections_) {
    // Once the last job is stored, the others are left waiting; watching
    // them would only spin.
    if (!taking && !connection.finished) continue;
    short events = connection.finished ? POLLOUT : POLLIN;
    if (!connection.reply.empty()) events |= POLLOUT;
    watched.push_back({fd, events, 0});
    if (connection.finished) {
      wake_by(connection.close_by);
    } else if (idle_limit) {
      wake_by(connection.idle_by);
    }
  }

  if (poll(watched.data(), watched.size(), timeout_ms) < 0) {
    return true;  // EINTR: a signal, which the caller's stop flag tells about
  }
  if (watched[0].revents != 0) {
    char drain[64];
    while (read(wake_read_fd_, drain, sizeof drain) > 0) {
    }
  }
  for (std::size_t i = first_connection; i < watched.size(); ++i) {
    if (watched[i].revents == 0) continue;
    const auto it = connections_.find(watched[i].fd);
    const int fd = it->first;
    Connection& connection = it->second;
    if (connection.finished) {
      if (!SendReply(fd, connection) || connection.reply.empty()) CloseConnection(fd);
      continue;
    }
    if (!TakingJobs()) continue;
    if ((watched[i].revents & POLLOUT) != 0 && !SendReply(fd, connection)) {
      connection.reply.clear();  // the peer takes no more; its reset shows when reading
    }
    if ((watched[i].revents & ~POLLOUT) != 0 && ReadFrom(fd, connection)) connections_.erase(it);
  }
  const auto after = Clock::now();
  for (auto it = connections_.begin(); it != connections_.end();) {
    const auto next = std::next(it);
    Connection& connection = it->second;
    if (connection.finished) {
      if (after >= connection.close_by) CloseConnection(it->first);
    } else if (idle_limit && TakingJobs() && after >= connection.idle_by) {
      if (FinishJob(it->first, connection, Ending::kIdle)) connections_.erase(it);
    }
    it = next;
  }
  if (accepting && watched[1].revents != 0 && TakingJobs()) AcceptAll();
  return !done();
}

void PrinterServer::Run(const std::atomic<bool>& stop) {
  // The timeout only bounds how late a stop request set without a wake-up
  // (a signal that arrived just before poll) is noticed.
  while (!stop.load() && !stop_requested_.load() && RunOnce(250)) {
  }
}

void PrinterServer::StartThread() {
  if (thread_.joinable()) return;
  stop_requested_ = false;
  thread_ = std::thread([this] { Run(stop_requested_); });
}

void PrinterServer::Stop() {
  stop_requested_ = true;
  Wake();
  if (thread_.joinable()) thread_.join();
}

void PrinterServer::Wake() {
  if (wake_write_fd_ < 0) return;
  const char byte = 0;
  [[maybe_unused]] const auto written = write(wake_write_fd_, &byte, 1);
}

void PrinterServer::Log(const std::string& line) const {
  if (on_log_) on_log_(line);
}

std::vector<Job> PrinterServer::jobs() const {
  std::lock_guard lock(mutex_);
  return jobs_;
}

bool PrinterServer::WaitForJobs(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return jobs_changed_.wait_for(lock, timeout, [&] { return jobs_.size() >= count; });
}

void PrinterServer::AcceptAll() {
  for (;;) {
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    const int fd = accept(listen_fd_, reinterpret_cast<sockaddr*>(&peer), &length);
    if (fd < 0) {
      const int error = errno;
      if (error == EINTR || error == ECONNABORTED) continue;
      if (error == EAGAIN || error == EWOULDBLOCK) return;
      // Out of descriptors or memory (EMFILE, ENFILE, ENOBUFS, ENOMEM): the
      // waiting connection stays queued and the listener readable, so it is
      // left alone for a while, longer each time, until a client leaves.
      if (accept_pause_.count() == 0) {
        Log("cannot accept connections: " + ErrnoText(error) + "; trying again shortly");
      }
      accept_pause_ = std::clamp(accept_pause_ * 2, kMinAcceptPause, kMaxAcceptPause);
      accept_resumes_ = Clock::now() + accept_pause_;
      return;
    }
    if (accept_pause_.count() != 0) {
      accept_pause_ = std::chrono::milliseconds(0);
      Log("accepting connections again");
    }
    if (!SetNonBlocking(fd)) {
      close(fd);
      continue;
    }
    Connection connection;
    connection.peer = EndpointOf(peer, length);
    connection.idle_by = Clock::now() + options_.idle_timeout;
    connections_.emplace(fd, std::move(connection));
  }
}

bool PrinterServer::ReadFrom(int fd, Connection& connection) {
  char buffer[kReadChunk];
  for (int pass = 0; pass < kReadsPerPass; ++pass) {
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n > 0) {
      const std::string_view piece(buffer, static_cast<std::size_t>(n));
      connection.idle_by = Clock::now() + options_.idle_timeout;
      Store(connection, piece);
      if (const int requests = connection.status_requests.Feed(piece); requests > 0) {
        connection.status_replies += requests;
        const std::string reply = HostStatusReply(renderer_.label_length());
        for (int k = 0; k < requests && connection.reply.size() < kMaxPendingReply; ++k) {
          connection.reply += reply;
        }
        if (!SendReply(fd, connection)) connection.reply.clear();
      }
    } else if (n == 0) {
      return FinishJob(fd, connection, Ending::kEndOfFile);
    } else if (errno == EINTR) {
      continue;
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      return false;
    } else {
      return FinishJob(fd, connection, Ending::kReset);
    }
  }
  return false;
}

void PrinterServer::OpenJobFile(Connection& connection) {
  connection.number = next_number_++;
  if (options_.output_folder.empty()) {
    connection.in_memory = true;
    return;
  }
  // O_EXCL keeps a file that appeared since the folder was scanned.
  std::filesystem::path path;
  int fd = -1;
  for (int tries = 0; tries < 1000; ++tries) {
    path = options_.output_folder / JobFileName(connection.number);
    fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0 || errno != EEXIST) break;
    connection.number = next_number_++;
  }
  if (fd < 0) {
    // Kept in memory instead, so that the job is still summarised.
    connection.error = path.string() + ": " + ErrnoText(errno);
    connection.in_memory = true;
    return;
  }
  connection.file = fd;
  connection.path = path.string();
}

void PrinterServer::Store(Connection& connection, std::string_view piece) {
  if (connection.number == 0) OpenJobFile(connection);
  connection.size += piece.size();
  if (connection.in_memory) {
    const std::size_t room =
        options_.max_job_bytes - std::min(options_.max_job_bytes, connection.bytes.size());
    connection.bytes.append(piece.substr(0, room));
    return;
  }
  while (connection.file >= 0 && !piece.empty()) {
    const ssize_t n = write(connection.file, piece.data(), piece.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // The file keeps what it got; the rest is only counted.
      connection.error = connection.path + ": " + ErrnoText(n < 0 ? errno : ENOSPC);
      CloseFd(connection.file);
      break;
    }
    piece.remove_prefix(static_cast<std::size_t>(n));
  }
}

bool PrinterServer::SendReply(int fd, Connection& connection) {
  while (!connection.reply.empty()) {
    const ssize_t n =
        send(fd, connection.reply.data(), connection.reply.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      connection.reply.erase(0, static_cast<std::size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
  }
  return true;
}

void PrinterServer::CloseConnection(int fd) {
  close(fd);
  if (const auto it = connections_.find(fd); it != connections_.end()) {
    CloseFd(it->second.file);
    connections_.erase(it);
  }
}

bool PrinterServer::FinishJob(int fd, Connection& connection, Ending ending) {
  if (connection.number == 0) {
    // Nothing arrived: a port probe or a client that gave up, not a job.
    if (ending == Ending::kIdle) {
      Log("idle connection from " + connection.peer + " closed after " +
          DurationText(options_.idle_timeout) + " without data");
    } else {
      Log("probe from " + connection.peer + " (connection " +
          (ending == Ending::kReset ? "reset" : "closed") + " without data)");
    }
    close(fd);
    return true;
  }
  if (connection.file >= 0 && close(connection.file) != 0 && connection.error.empty()) {
    connection.error = connection.path + ": " + ErrnoText(errno);
  }
  connection.file = -1;
  Job job;
  job.number = connection.number;
  job.bytes = std::move(connection.bytes);
  job.size = connection.size;
  job.reset = ending == Ending::kReset;
  job.timed_out = ending == Ending::kIdle;
  job.path = std::move(connection.path);
  job.error = std::move(connection.error);
  job.status_replies = connection.status_replies;
  Enqueue(std::move(job));
  // A sender that has shut down only its sending side still reads: what is
  // left of the status reply goes out before the close.
  if (ending == Ending::kEndOfFile && SendReply(fd, connection) && !connection.reply.empty()) {
    connection.finished = true;
    connection.close_by = Clock::now() + kReplyGrace;
    return false;
  }
  // Closing only now means that a sender who sees the close can rely on the
  // job being stored; drawing it comes later.
  close(fd);
  return true;
}

void PrinterServer::Enqueue(Job job) {
  ++stored_;
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(job));
  }
  queue_changed_.notify_one();
  if (worker_.joinable()) return;
  // The worker takes no signals, so that a stop request interrupts the
  // serving thread's poll at once; it inherits the mask it starts with.
  sigset_t all, old;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &old);
  worker_ = std::thread([this] { Work(); });
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

void PrinterServer::Work() {
  for (;;) {
    Job job;
    {
      std::unique_lock lock(mutex_);
      queue_changed_.wait(lock, [&] { return worker_stop_ || !queue_.empty(); });
      if (worker_stop_) return;
      job = std::move(queue_.front());
      queue_.pop_front();
    }
    Describe(job);
    if (on_job_) on_job_(job);
    if (!options_.retain_bytes) job.bytes = std::string();
    {
      std::lock_guard lock(mutex_);
      jobs_.push_back(std::move(job));
    }
    jobs_changed_.notify_all();
    // The serving thread may be waiting for its last job to be done.
    if (options_.max_jobs > 0) Wake();
  }
}

void PrinterServer::Describe(Job& job) {
  // Drawing comes after saving and cannot undo it: whatever goes wrong is
  // only noted in the summary.
  std::string bytes = std::move(job.bytes);
  std::string read_error;
  if (!job.path.empty()) bytes = ReadHead(job.path, options_.max_job_bytes, read_error);
  const bool whole = read_error.empty() && bytes.size() == job.size;
  const bool draw = options_.render && !job.path.empty() && job.error.empty() && whole;
  const std::filesystem::path path(job.path);
  JobReport report = renderer_.Process(bytes, draw ? path.parent_path() : std::filesystem::path(),
                                       path.stem().string());
  job.bytes = std::move(bytes);
  job.labels = report.labels;
  job.formats = report.formats;
  job.copies = std::move(report.copies);
  job.darkness = std::move(report.darkness);
  job.speed = std::move(report.speed);
  job.charset = std::move(report.charset);
  job.unsupported = std::move(report.unsupported);
  job.warnings = std::move(report.warnings);
  job.pngs = std::move(report.files);
  job.render_notes = std::move(report.notes);
  if (!read_error.empty()) {
    job.render_notes.insert(job.render_notes.begin(), "not read back: " + read_error);
  } else if (job.size > options_.max_job_bytes) {
    const std::string limit = SizeText(options_.max_job_bytes);
    job.render_notes.insert(job.render_notes.begin(), "over the read limit of " + limit +
                                                          ": labels counted in the first " + limit +
                                                          " only, none drawn");
  }
}

}  // namespace zplport::printer
