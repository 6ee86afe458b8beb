#include "ui/cli/host_status.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

namespace zplport {
namespace {

constexpr char kStx = '\x02';
constexpr char kEtx = '\x03';

// The three strings' texts, between their STX and ETX.
std::optional<std::array<std::string_view, 3>> Frames(std::string_view bytes) {
  std::array<std::string_view, 3> frames;
  std::size_t at = 0;
  for (std::string_view& frame : frames) {
    const std::size_t start = bytes.find(kStx, at);
    if (start == std::string_view::npos) return std::nullopt;
    const std::size_t end = bytes.find(kEtx, start + 1);
    if (end == std::string_view::npos) return std::nullopt;
    frame = bytes.substr(start + 1, end - start - 1);
    at = end + 1;
  }
  return frames;
}

// The comma-separated numbers of one string, at least `count` of them.
std::optional<std::vector<long>> Fields(std::string_view frame, std::size_t count) {
  std::vector<long> fields;
  for (std::size_t start = 0;;) {
    const std::size_t comma = std::min(frame.find(',', start), frame.size());
    const std::string_view field = frame.substr(start, comma - start);
    // Eight digits at most: the widest field, labels remaining, has eight.
    if (field.empty() || field.size() > 8 ||
        field.find_first_not_of("0123456789") != std::string_view::npos) {
      if (fields.size() >= count) break;  // past the guide's fields: not ours to read
      return std::nullopt;
    }
    long value = 0;
    for (const char digit : field) value = value * 10 + (digit - '0');
    fields.push_back(value);
    if (comma == frame.size()) break;
    start = comma + 1;
  }
  if (fields.size() < count) return std::nullopt;
  return fields;
}

}  // namespace

std::size_t HostStatusEnd(std::string_view bytes) {
  const auto frames = Frames(bytes);
  if (!frames) return std::string_view::npos;
  const std::string_view last = (*frames)[2];
  return static_cast<std::size_t>(last.data() - bytes.data()) + last.size() + 1;
}

std::optional<HostStatus> DecodeHostStatus(std::string_view bytes) {
  const auto frames = Frames(bytes);
  if (!frames) return std::nullopt;
  // aaa,b,c,dddd,eee,f,g,h,iii,j,k,l and mmm,n,o,p,q,r,s,t,uuuuuuuu,v,www;
  // the third (xxxx,y) is only required to be there.
  const auto first = Fields((*frames)[0], 12);
  const auto second = Fields((*frames)[1], 11);
  if (!first || !second) return std::nullopt;
  const std::vector<long>& a = *first;
  const std::vector<long>& b = *second;
  bool bad_flag = false;
  const auto flag = [&](long field) {
    bad_flag |= field > 1;
    return field == 1;
  };
  HostStatus status;
  status.paper_out = flag(a[1]);
  status.paused = flag(a[2]);
  status.label_length = a[3];
  status.formats_waiting = a[4];
  status.buffer_full = flag(a[5]);
  status.diagnostic_mode = flag(a[6]);
  status.partial_format = flag(a[7]);
  status.corrupt_ram = flag(a[9]);
  status.under_temperature = flag(a[10]);
  status.over_temperature = flag(a[11]);
  status.head_up = flag(b[2]);
  status.ribbon_out = flag(b[3]);
  status.labels_remaining = b[8];
  if (bad_flag) return std::nullopt;
  return status;
}

std::vector<std::string> StoppingConditions(const HostStatus& status) {
  std::vector<std::string> lines;
  const std::pair<bool, const char*> conditions[] = {
      {status.paper_out, "缺纸"},
      {status.paused, "暂停"},
      {status.head_up, "打印头打开"},
      {status.ribbon_out, "碳带用完"},
      {status.buffer_full, "接收缓冲区已满"},
      {status.diagnostic_mode, "通信诊断模式"},
      {status.corrupt_ram, "配置数据丢失"},
      {status.under_temperature, "打印头温度过低"},
      {status.over_temperature, "打印头温度过高"},
  };
  for (const auto& [on, text] : conditions) {
    if (on) lines.emplace_back(text);
  }
  return lines;
}

std::string DescribeFigures(const HostStatus& status) {
  return "标签长度 " + std::to_string(status.label_length) + " 点，接收缓冲区中 " +
         std::to_string(status.formats_waiting) + " 个格式，本批还剩 " +
         std::to_string(status.labels_remaining) + " 张标签";
}

long LabelsHeld(const HostStatus& status) {
  return status.labels_remaining + status.formats_waiting;
}

std::string ShowBytes(std::string_view bytes) {
  constexpr std::size_t kShown = 160;
  std::string shown;
  for (const char c : bytes.substr(0, kShown)) {
    switch (c) {
      case kStx:
        shown += "<STX>";
        break;
      case kEtx:
        shown += "<ETX>";
        break;
      case '\r':
        shown += "<CR>";
        break;
      case '\n':
        shown += "<LF>";
        break;
      default:
        if (c >= ' ' && c <= '~') {
          shown += c;
        } else {
          char hex[8];
          std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
          shown += hex;
        }
    }
  }
  if (bytes.size() > kShown) shown += "…";
  return shown;
}

}  // namespace zplport
