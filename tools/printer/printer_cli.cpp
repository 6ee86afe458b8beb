#include "printer/printer_cli.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <iterator>
#include <limits>
#include <optional>
#include <string_view>

#include "printer/job_renderer.h"

namespace zplport::printer {
namespace {

// A year: longer is the same as never.
constexpr long kMaxIdleSeconds = 365L * 24 * 3600;

std::optional<long> ParseNumber(std::string_view text, long max) {
  long value = 0;
  const char* last = text.data() + text.size();
  const auto [end, result] = std::from_chars(text.data(), last, value);
  if (text.empty() || result != std::errc() || end != last || value < 0 || value > max) {
    return std::nullopt;
  }
  return value;
}

// "gbk, utf-8, ...": the encodings the renderer reads.
std::string EncodingList() {
  std::string list;
  for (const std::string& name : RendererEncodings()) list += (list.empty() ? "" : ", ") + name;
  return list;
}

}  // namespace

const char kPrinterUsage[] =
    "usage: zplport-printer [--port N] [--bind ADDR] [--out DIR] [--jobs N] [--dpi D]\n"
    "                       [--encoding E] [--idle S] [--pictures N] [--pace MS] [--media N]\n"
    "                       [--fault LIST]\n"
    "       zplport-printer --render FILE... [--out DIR] [--dpi D] [--encoding E]\n"
    "                       [--pictures N]\n"
    "  --port N      TCP port to listen on (default 9100; 0 = any free port)\n"
    "  --bind ADDR   address to listen on (default 127.0.0.1; e.g. ::1)\n"
    "  --out DIR     folder for job-NNNN.zpl files (default: current folder)\n"
    "  --jobs N      exit after N jobs (default 0 = until SIGINT or SIGTERM)\n"
    "  --dpi D       resolution of the job-NNNN-L.png label images: 203 (default), 300 or 600\n"
    "  --encoding E  field text of jobs without ^CI: gbk (default), utf-8, cp1252, cp850,\n"
    "                cp1250 to cp1255, shift_jis, utf-16be or utf-16le\n"
    "  --idle S      close a connection that sends nothing for S seconds (default 60; 0 = never)\n"
    "  --pictures N  label images drawn per job, the first ones (default 100; 0 = all)\n"
    "  --render      draw the labels of each FILE (- = standard input) into --out and exit;\n"
    "                files are read in turn by one printer, as jobs are\n"
    "  --pace MS     print a label every MS milliseconds (default: the label's length at its\n"
    "                ^PR speed; 0 = at once)\n"
    "  --media N     paper for N labels; then the printer is out of paper and keeps the rest\n"
    "  --fault LIST  conditions at start, comma-separated: paused, head-open, ribbon-out,\n"
    "                paper-out\n";

PrinterCommandLine ParsePrinterCommandLine(const std::vector<std::string>& args) {
  PrinterCommandLine parsed;
  parsed.options.port = 9100;
  parsed.options.output_folder = ".";
  parsed.options.retain_bytes = false;

  bool render = false;
  std::vector<std::string> files;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view arg = args[i];
    if (arg == "--help" || arg == "-h") {
      parsed.help = true;
      continue;
    }
    if (arg == "--render") {
      render = true;
      continue;
    }
    if (arg == "-" || !arg.starts_with("-")) {
      files.emplace_back(arg);
      continue;
    }
    std::string name(arg);
    std::optional<std::string> value;
    if (const auto equals = arg.find('='); arg.starts_with("--") && equals != arg.npos) {
      name = std::string(arg.substr(0, equals));
      value = std::string(arg.substr(equals + 1));
    }
    if (name != "--port" && name != "--bind" && name != "--out" && name != "--jobs" &&
        name != "--dpi" && name != "--encoding" && name != "--idle" && name != "--pictures" &&
        name != "--pace" && name != "--media" && name != "--fault") {
      parsed.error = "unknown argument: " + std::string(arg);
      return parsed;
    }
    if (!value) {
      if (i + 1 >= args.size()) {
        parsed.error = name + " needs a value";
        return parsed;
      }
      value = args[++i];
    }
    if (name == "--port") {
      const auto port = ParseNumber(*value, std::numeric_limits<std::uint16_t>::max());
      if (!port) {
        parsed.error = "bad port: " + *value;
        return parsed;
      }
      parsed.options.port = static_cast<std::uint16_t>(*port);
    } else if (name == "--jobs") {
      const auto jobs = ParseNumber(*value, std::numeric_limits<int>::max());
      if (!jobs) {
        parsed.error = "bad job count: " + *value;
        return parsed;
      }
      parsed.options.max_jobs = static_cast<int>(*jobs);
    } else if (name == "--pictures") {
      const auto pictures = ParseNumber(*value, std::numeric_limits<int>::max());
      if (!pictures) {
        parsed.error = "bad picture count: " + *value;
        return parsed;
      }
      parsed.options.pictures = static_cast<int>(*pictures);
    } else if (name == "--dpi") {
      const auto dpi = ParseNumber(*value, 600);
      if (!dpi || (*dpi != 203 && *dpi != 300 && *dpi != 600)) {
        parsed.error = "bad dpi: " + *value + " (203, 300 or 600)";
        return parsed;
      }
      parsed.options.dpi = static_cast<int>(*dpi);
    } else if (name == "--idle") {
      const auto seconds = ParseNumber(*value, kMaxIdleSeconds);
      if (!seconds) {
        parsed.error = "bad idle time: " + *value;
        return parsed;
      }
      parsed.options.idle_timeout = std::chrono::seconds(*seconds);
    } else if (name == "--pace" || name == "--media") {
      const auto number = ParseNumber(*value, std::numeric_limits<int>::max());
      if (!number) {
        parsed.error = "bad " + name.substr(2) + ": " + *value;
        return parsed;
      }
      if (name == "--pace") {
        parsed.options.engine.pace = std::chrono::milliseconds(*number);
      } else {
        parsed.options.engine.media = *number;
      }
    } else if (name == "--fault") {
      if (!ParseFaults(*value, parsed.options.engine)) {
        parsed.error = "bad fault list: " + *value + " (paused, head-open, ribbon-out, paper-out)";
        return parsed;
      }
    } else if (value->empty()) {
      parsed.error = name + " needs a value";
      return parsed;
    } else if (name == "--encoding") {
      std::string lower = *value;
      for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      const auto& known = RendererEncodings();
      if (std::find(known.begin(), known.end(), lower) == known.end()) {
        parsed.error = "bad encoding: " + *value + " (" + EncodingList() + ")";
        return parsed;
      }
      parsed.options.encoding = lower;
    } else if (name == "--bind") {
      parsed.options.bind_address = *value;
    } else {
      parsed.options.output_folder = *value;
    }
  }
  if (!render && !files.empty()) {
    parsed.error = "unknown argument: " + files.front();
  } else if (render && files.empty()) {
    parsed.error = "--render needs at least one file";
  } else {
    parsed.render_files = std::move(files);
  }
  return parsed;
}

}  // namespace zplport::printer
