// Damaged, odd or hostile Config.ini and file.ini: the request never
// crashes and the operator is told what is wrong, or the labels come out
// as the files say.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "hardening/hardening_support.h"
#include "label/label.h"
#include "printing/print_failure.h"
#include "support/fault_printer.h"
#include "support/recording_host.h"

namespace zplport {
namespace {

using std::chrono::milliseconds;
using testing::RecordingHost;
using Messages = std::vector<std::string>;

const PrintSettings kSettings{"15", "50", "50", "50", "150", "40", "40"};
const char kContent[] = "[content]\r\nc(0)=ABC\r\nc(1)=123\r\n";

std::string Settings(const std::string& prtmod) {
  return "[prtmod]\r\nprtmod=" + prtmod +
         "\r\ndarkness=15\r\n[zuobiao]\r\nzbx=50\r\nzby=50\r\n"
         "zbx1=50\r\nzby1=150\r\n[font]\r\na=40\r\nb=40\r\n";
}

std::string Network(const std::string& ip, const std::string& port) {
  return Settings("ip") + "[network]\r\nprinterip=" + ip + "\r\nprinterport=" + port + "\r\n";
}

std::string Binary(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

// Little-endian UTF-16 with its byte-order mark, as Notepad saves it.
std::string Utf16(const std::string& ascii) {
  std::string out = "\xFF\xFE";
  for (const char c : ascii) {
    out += c;
    out += '\0';
  }
  return out;
}

std::string Repeated(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

std::string Label(const std::string& a, const std::string& b) {
  return ComposeLabel(kSettings, a, b) + "\r\n";
}

class BadConfigTest : public ::testing::Test {
 protected:
  // Runs one request and records its figure.
  PrintOutcome Run(const std::string& name, milliseconds bound = milliseconds(2000)) {
    host_.messages.clear();
    const testing::TimedOutcome r = testing::TimedRequest(host_);
    testing::ReportFigure("config/" + name, r.outcome, r.elapsed, bound);
    EXPECT_LE(r.elapsed, bound) << name;
    return r.outcome;
  }
  std::string Device() { return host_.folder.Write("port", "").string(); }
  std::string PortMode(const std::string& device) {
    return Settings("LPT1:") + "[ports]\r\nlpt1=" + device + "\r\n";
  }

  RecordingHost host_;
};

TEST_F(BadConfigTest, DamagedConfigIsAnUnknownModeOrItsConversionFailure) {
  struct Case {
    const char* name;
    std::string config;
    PrintOutcome outcome;
    std::string message;
  } cases[] = {
      {"binary Config.ini", Binary(4096, 1), PrintOutcome::kUnknownMode, kUnknownPrintMode},
      {"Config.ini of NULs", std::string(4096, '\0'), PrintOutcome::kUnknownMode,
       kUnknownPrintMode},
      // Cut inside the header: the section is gone, so is printerport.
      {"Config.ini cut in [network]", Settings("ip") + "[netw", PrintOutcome::kFailed,
       kTypeMismatch},
      {"Config.ini cut after printerip",
       Settings("ip") + "[network]\r\nprinterip=127.0.0.1\r\nprin", PrintOutcome::kFailed,
       kTypeMismatch},
      // 网络 cut after its first byte and a half.
      {"Config.ini cut inside a GBK character", "[prtmod]\r\nprtmod=\xCD\xF8\xC2",
       PrintOutcome::kUnknownMode, kUnknownPrintMode},
      {"UTF-8 Config.ini", Settings("\xE7\xBD\x91\xE7\xBB\x9C"), PrintOutcome::kUnknownMode,
       kUnknownPrintMode},
      {"UTF-16 Config.ini", Utf16(Settings("ip")), PrintOutcome::kUnknownMode, kUnknownPrintMode},
      {"prtmod of 70 000 bytes", Settings(std::string(70000, 'L')), PrintOutcome::kUnknownMode,
       kUnknownPrintMode},
      {"printerport of 70 000 digits", Network("127.0.0.1", std::string(70000, '9')),
       PrintOutcome::kFailed, kOverflow},
      {"printerport 0", Network("127.0.0.1", "0"), PrintOutcome::kFailed,
       "打印机端口号无效：0（应为 1 到 65535，请检查 Config.ini 的 [network] printerport）"},
      {"printerport 70000", Network("127.0.0.1", "70000"), PrintOutcome::kFailed,
       "打印机端口号无效：70000（应为 1 到 65535，请检查 Config.ini 的 [network] printerport）"},
      {"printerport -1", Network("127.0.0.1", "-1"), PrintOutcome::kFailed,
       "打印机端口号无效：-1（应为 1 到 65535，请检查 Config.ini 的 [network] printerport）"},
      {"printerport 9100x", Network("127.0.0.1", "9100x"), PrintOutcome::kFailed, kTypeMismatch},
      {"printerip empty", Network("", "9100"), PrintOutcome::kFailed,
       "未设置打印机地址：请在 Config.ini 的 [network] 中填写 printerip"},
  };
  host_.WriteContent(kContent);
  host_.quantity = "2";
  for (const auto& c : cases) {
    host_.WriteConfig(c.config);
    EXPECT_EQ(Run(c.name), c.outcome) << c.name;
    EXPECT_EQ(host_.messages, Messages{c.message}) << c.name;
  }
}

TEST_F(BadConfigTest, FolderInsteadOfAFileReadsAsMissing) {
  ASSERT_EQ(::mkdir((host_.folder.path() / "Config.ini").c_str(), 0755), 0);
  host_.WriteContent(kContent);
  host_.quantity = "2";
  EXPECT_EQ(Run("folder as Config.ini"), PrintOutcome::kUnknownMode);
  EXPECT_EQ(host_.messages, Messages{kUnknownPrintMode});
  std::filesystem::remove(host_.folder.path() / "Config.ini");

  // A folder as file.ini: every line is empty, the labels still go out.
  std::filesystem::remove(host_.folder.path() / "file.ini");
  ASSERT_EQ(::mkdir((host_.folder.path() / "file.ini").c_str(), 0755), 0);
  const std::string device = Device();
  host_.WriteConfig(PortMode(device));
  EXPECT_EQ(Run("folder as file.ini"), PrintOutcome::kDone);
  EXPECT_EQ(host_.messages, Messages{});
  EXPECT_EQ(testing::ReadFileBytes(device), Label("", ""));
}

TEST_F(BadConfigTest, DamagedContentStillPrintsWhatItSays) {
  struct Case {
    const char* name;
    std::string content;
    std::string expected;
  } cases[] = {
      {"binary file.ini", Binary(1 << 20, 2), ""},
      {"lines after binary junk", Binary(4096, 3) + "\r\n[content]\r\nc(0)=ABC\r\nc(1)=123\r\n",
       Label("ABC", "123")},
      // The lone lead byte goes to the printer as it stands in the file.
      {"file.ini cut inside a GBK character", "[content]\r\nc(0)=ABC\r\nc(1)=\xD6\xD0\xCE",
       Label("ABC", "\xD6\xD0\xCE")},
      {"UTF-8 file.ini", "[content]\r\nc(0)=\xE4\xB8\xAD\r\nc(1)=x\r\n",
       Label("\xE4\xB8\xAD", "x")},
      {"UTF-8 byte-order mark", "\xEF\xBB\xBF[content]\r\nc(0)=ABC\r\nc(1)=123\r\n",
       Label("ABC", "123")},
      {"line of 70 000 bytes", "[content]\r\nc(0)=" + std::string(70000, 'x') + "\r\nc(1)=y\r\n",
       Label(std::string(65535, 'x'), "y")},
      // Cut to 65535 bytes without splitting the character at the edge.
      {"line of 70 000 GBK bytes",
       "[content]\r\nc(0)=a" +
           [] {
             std::string s;
             for (int i = 0; i < 35000; ++i) s += "\xD6\xD0";
             return s;
           }() +
           "\r\n",
       Label(
           "a" +
               [] {
                 std::string s;
                 for (int i = 0; i < 32767; ++i) s += "\xD6\xD0";
                 return s;
               }(),
           "")},
  };
  for (const auto& c : cases) {
    const std::string device = Device();
    host_.WriteConfig(PortMode(device));
    host_.WriteContent(c.content);
    host_.quantity = "2";
    EXPECT_EQ(Run(c.name), PrintOutcome::kDone) << c.name;
    EXPECT_EQ(host_.messages, Messages{}) << c.name;
    if (!c.expected.empty()) {
      EXPECT_EQ(testing::ReadFileBytes(device), c.expected) << c.name;
    } else {
      // Whatever the junk says, it is one label's line.
      const std::string out = testing::ReadFileBytes(device);
      EXPECT_EQ(out.find("^XA"), 0u) << c.name;
      EXPECT_EQ(out.substr(out.size() - 5), "^XZ\r\n") << c.name;
    }
  }
}

TEST_F(BadConfigTest, HugeFilesAreReadWhole) {
  // 50 MB of keys before the ones that matter, in both files.
  std::string padding;
  padding.reserve(52u << 20);
  for (int i = 0; padding.size() < (50u << 20); ++i) {
    padding += "k" + std::to_string(i) + "=" + std::string(100, 'p') + "\r\n";
  }
  const std::string device = Device();
  host_.WriteConfig("[padding]\r\n" + padding + PortMode(device));
  host_.WriteContent("[content]\r\n" + padding + "c(0)=ABC\r\nc(1)=123\r\nc(2)=END\r\n");
  host_.quantity = "3";
  EXPECT_EQ(Run("50 MB Config.ini and file.ini", milliseconds(60000)), PrintOutcome::kDone);
  EXPECT_EQ(host_.messages, Messages{});
  EXPECT_EQ(testing::ReadFileBytes(device), Label("ABC", "123") + Label("END", ""));
  // Nothing is kept between requests: the next one reads both again.
  EXPECT_EQ(Run("50 MB files, second request", milliseconds(60000)), PrintOutcome::kDone);
}

TEST_F(BadConfigTest, FileTooLargeToBeAnIniFileIsRefusedByItsSize) {
  // Sparse: a terabyte that takes no room, read by nothing.
  const std::uint64_t terabyte = std::uint64_t{1} << 40;
  const std::string device = Device();
  for (const char* name : {"Config.ini", "file.ini"}) {
    host_.WriteConfig(PortMode(device));
    host_.WriteContent(kContent);
    const std::filesystem::path huge = host_.folder.path() / name;
    std::filesystem::resize_file(huge, terabyte);
    host_.quantity = "2";
    EXPECT_EQ(Run(std::string("sparse 1 TiB ") + name), PrintOutcome::kFailed) << name;
    EXPECT_EQ(host_.messages, Messages{"无法读取 " + huge.string() +
                                       "：文件太大（1099511627776 字节），INI 文件最大 64 MiB"})
        << name;
  }
  EXPECT_EQ(testing::ReadFileBytes(device), "");

  // Over the network file.ini is first read once the connection is open;
  // the refusal still comes as the request's own failure.
  testing::FaultPrinter printer(testing::FaultPrinter::Behaviour::kAcceptAndRead);
  host_.WriteConfig(Network("127.0.0.1", std::to_string(printer.port())));
  const std::filesystem::path huge = host_.folder.path() / "file.ini";
  EXPECT_EQ(Run("sparse 1 TiB file.ini, network"), PrintOutcome::kFailed);
  EXPECT_EQ(host_.messages, Messages{"无法读取 " + huge.string() +
                                     "：文件太大（1099511627776 字节），INI 文件最大 64 MiB"});
}

// Addresses that are wrong as written. The requests run in a child with a
// network of its own, so that an address the system might still take (such
// as the old short form 1.2.3 = 1.2.0.3) can never reach a real host.
TEST(BadPrinterAddress, IsNamedAsSuch) {
  struct Case {
    const char* name;
    std::string ip;
    std::string message;
  };
  const std::string hint = "（请检查 Config.ini 的 [network] printerip）";
  const std::vector<Case> cases = {
      {"three-part IPv4", "1.2.3", "打印机地址无效：1.2.3" + hint},
      {"IPv4 part over 255", "192.168.1.300", "打印机地址无效：192.168.1.300" + hint},
      // Read as octal by some systems: 192.168.1.16.
      {"IPv4 parts with leading zeros", "192.168.001.020",
       "打印机地址无效：192.168.001.020（IP 地址的各段不要以 0 开头，例如写 192.168.1.20，"
       "不要写 192.168.001.020；请检查 Config.ini 的 [network] printerip）"},
      {"colons only", "::::", "打印机地址无效：::::" + hint},
      {"IPv6 in brackets", "[::1]", "打印机地址无效：[::1]" + hint},
      {"two double colons", "1::2::3", "打印机地址无效：1::2::3" + hint},
      {"name of 300 bytes", std::string(300, 'a'),
       "打印机地址无效：" + std::string(60, 'a') + "…" + hint},
      {"name of 70 000 bytes", std::string(70000, 'a'),
       "打印机地址无效：" + std::string(60, 'a') + "…" + hint},
      // 中 is two bytes: 29 of them and the "a" fill 59, a 30th would be cut.
      {"GBK name cut between characters", "a" + Repeated("\xD6\xD0", 150),
       "打印机地址无效：a" + Repeated("中", 29) + "…" + hint},
      // A well-formed name that no one knows: the resolver says so.
      {"GBK host name", "\xB4\xF2\xD3\xA1\xBB\xFA", "无法连接打印机 打印机:9100：找不到主机"},
  };
  testing::ChildOptions options;
  options.isolate_network = true;
  options.hosts = "127.0.0.1 localhost\n";
  std::string why_not;
  const auto lines = testing::RunInChild(
      options,
      [&] {
        std::vector<std::string> out;
        RecordingHost host;
        host.WriteContent(kContent);
        host.quantity = "2";
        for (const Case& c : cases) {
          host.WriteConfig(Network(c.ip, "9100"));
          host.messages.clear();
          const testing::TimedOutcome r = testing::TimedRequest(host);
          out.push_back(testing::OutcomeName(r.outcome));
          out.push_back(std::to_string(r.elapsed.count()));
          out.push_back(host.messages.empty() ? "" : host.messages[0]);
        }
        return out;
      },
      &why_not);
  if (!lines) GTEST_SKIP() << "cannot give the child a network of its own: " << why_not;
  ASSERT_EQ(lines->size(), cases.size() * 3) << (*lines)[0];
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const milliseconds elapsed(std::stol((*lines)[i * 3 + 1]));
    testing::ReportFigure(std::string("config/printerip ") + cases[i].name,
                          (*lines)[i * 3] == "failed" ? PrintOutcome::kFailed : PrintOutcome::kDone,
                          elapsed, milliseconds(1000));
    EXPECT_EQ((*lines)[i * 3], "failed") << cases[i].name;
    EXPECT_LE(elapsed, milliseconds(1000)) << cases[i].name;
    EXPECT_EQ((*lines)[i * 3 + 2], cases[i].message) << cases[i].name;
  }
}

// The other side of the same check: every way of writing a loopback
// address still prints.
TEST(BadPrinterAddress, WellFormedAddressesStillPrint) {
  testing::ChildOptions options;
  options.isolate_network = true;
  options.hosts = "127.0.0.1 localhost\n";
  std::string why_not;
  const auto lines = testing::RunInChild(
      options,
      [] {
        std::vector<std::string> out;
        testing::FaultPrinter v4(testing::FaultPrinter::Behaviour::kAcceptAndRead, "127.0.0.1");
        testing::FaultPrinter v6(testing::FaultPrinter::Behaviour::kAcceptAndRead, "::1");
        RecordingHost host;
        host.WriteContent(kContent);
        host.quantity = "2";
        const std::pair<const char*, int> cases[] = {
            {"127.0.0.1", v4.port()},
            {"localhost", v4.port()},
            {"::ffff:127.0.0.1", v4.port()},
            {"::1", v6.port()},
            {"0:0:0:0:0:0:0:1", v6.port()},
            {"0::0:1", v6.port()},
            // The zone after % is for the resolver to read.
            {"::1%1", v6.port()}};
        for (const auto& [ip, port] : cases) {
          host.WriteConfig(Network(ip, std::to_string(port)));
          host.messages.clear();
          RunPrintRequest(host);
          out.push_back(std::string(ip) + " -> " +
                        (host.messages.empty() ? std::string("nothing") : host.messages[0]));
        }
        return out;
      },
      &why_not);
  if (!lines) GTEST_SKIP() << "cannot give the child a network of its own: " << why_not;
  ASSERT_EQ(lines->size(), 7u) << (*lines)[0];
  for (const std::string& line : *lines) {
    EXPECT_EQ(line.substr(line.find(" -> ") + 4), kPrintSucceeded) << line;
  }
}

}  // namespace
}  // namespace zplport
