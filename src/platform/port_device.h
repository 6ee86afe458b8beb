// A printer port device opened like a file for output. The device is opened
// write-only and appending, never created, and written without blocking so
// that an off-line printer cannot stall the window.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/os_error.h"

namespace zplport {

class PortDevice {
 public:
  struct WriteResult {
    std::size_t bytes = 0;  // taken from the front of the data; 0 when the device is busy
    OsError error;
  };

  PortDevice();
  ~PortDevice();  // closes
  PortDevice(const PortDevice&) = delete;
  PortDevice& operator=(const PortDevice&) = delete;

  // Opens an existing device or file; fails rather than create one.
  OsError Open(const std::filesystem::path& path);

  // Writes what the device takes now. The caller passes the remainder of the
  // same buffer until it is all taken: on Windows a write stays in flight
  // between calls.
  WriteResult Write(std::string_view data);

  struct DrainResult {
    bool done = false;  // the device has finished with every byte it took
    OsError error;      // it went away, or its reader did, before that
  };

  // Asks, without waiting, whether the device has finished with what the
  // writes handed it, so that closing it now loses nothing.
  DrainResult PollDrained();

  // Abandons any write in flight and closes; no effect when closed.
  void Close();

  bool is_open() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// While alive, a write to a FIFO or pipe whose reader has gone fails with
// EPIPE on this thread instead of ending the process with SIGPIPE; a SIGPIPE
// that such a write raised is taken back when the scope ends. A request
// opens one around all its port writes, since holding the signal back costs
// system calls that would add up over thousands of writes. Nothing to do on
// Windows.
class BrokenPipeScope {
 public:
  BrokenPipeScope();
  ~BrokenPipeScope();
  BrokenPipeScope(const BrokenPipeScope&) = delete;
  BrokenPipeScope& operator=(const BrokenPipeScope&) = delete;

 private:
  struct Saved;
  std::unique_ptr<Saved> saved_;
};

// What a printer said through its port device.
struct DeviceAnswer {
  bool readable = false;  // false: the device only takes data (a parallel port, a file)
  OsError error;          // it could not be opened, written or read
  std::string bytes;      // what came back, complete or not
};

// Writes `question` to the device and reads its answer until `complete`
// holds for what has come or `wait` has passed. Only a device that gives
// the printer's replies back can be asked: a USB printer (/dev/usb/lp*) on
// Linux; nothing on Windows, whose ports are opened for output only.
DeviceAnswer AskPortDevice(const std::filesystem::path& path, std::string_view question,
                           std::chrono::milliseconds wait,
                           const std::function<bool(std::string_view)>& complete);

// The device behind "LPT1:" ... "LPT4:" (number 1 to 4) when Config.ini does
// not map it: /dev/lpN-1 (or /dev/usb/lpN-1 when that is absent) on Linux,
// \\.\LPTn on Windows.
std::filesystem::path DefaultPortDevice(int number);

// What the operator can do when the default device of port `number` does
// not exist, in Chinese; empty where there is nothing to suggest.
std::string MissingPortAdvice(int number);

}  // namespace zplport
