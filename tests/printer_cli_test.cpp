// The loopback printer is built for POSIX systems only.
#ifndef _WIN32

#include "printer/printer_cli.h"

#include <gtest/gtest.h>

#include <chrono>

namespace zplport::printer {
namespace {

TEST(PrinterCommandLineTest, DefaultsListenOnLoopbackPort9100) {
  const PrinterCommandLine parsed = ParsePrinterCommandLine({});
  EXPECT_EQ(parsed.error, "");
  EXPECT_FALSE(parsed.help);
  EXPECT_EQ(parsed.options.bind_address, "127.0.0.1");
  EXPECT_EQ(parsed.options.port, 9100);
  EXPECT_EQ(parsed.options.output_folder, ".");
  EXPECT_EQ(parsed.options.max_jobs, 0);
  EXPECT_EQ(parsed.options.dpi, 203);
  EXPECT_EQ(parsed.options.encoding, "gbk");
  EXPECT_EQ(parsed.options.idle_timeout, std::chrono::seconds(60));
  EXPECT_EQ(parsed.options.pictures, 100);
  EXPECT_TRUE(parsed.render_files.empty());
}

TEST(PrinterCommandLineTest, AcceptsEachOptionInBothForms) {
  const PrinterCommandLine spaced =
      ParsePrinterCommandLine({"--port", "0", "--bind", "::1", "--out", "jobs", "--jobs", "3"});
  const PrinterCommandLine joined =
      ParsePrinterCommandLine({"--port=0", "--bind=::1", "--out=jobs", "--jobs=3"});
  for (const auto* parsed : {&spaced, &joined}) {
    EXPECT_EQ(parsed->error, "");
    EXPECT_EQ(parsed->options.port, 0);
    EXPECT_EQ(parsed->options.bind_address, "::1");
    EXPECT_EQ(parsed->options.output_folder, "jobs");
    EXPECT_EQ(parsed->options.max_jobs, 3);
  }
  EXPECT_EQ(ParsePrinterCommandLine({"--port", "65535"}).options.port, 65535);
  EXPECT_EQ(ParsePrinterCommandLine({"--dpi", "300"}).options.dpi, 300);
  EXPECT_EQ(ParsePrinterCommandLine({"--dpi=600"}).options.dpi, 600);
  EXPECT_EQ(ParsePrinterCommandLine({"--dpi=203"}).options.dpi, 203);
  EXPECT_EQ(ParsePrinterCommandLine({"--encoding", "UTF-8"}).options.encoding, "utf-8");
  EXPECT_EQ(ParsePrinterCommandLine({"--encoding=cp1252"}).options.encoding, "cp1252");
  EXPECT_EQ(ParsePrinterCommandLine({"--idle", "0"}).options.idle_timeout.count(), 0);
  EXPECT_EQ(ParsePrinterCommandLine({"--idle=5"}).options.idle_timeout, std::chrono::seconds(5));
  EXPECT_EQ(ParsePrinterCommandLine({"--pictures", "0"}).options.pictures, 0);
  EXPECT_EQ(ParsePrinterCommandLine({"--pictures=5"}).options.pictures, 5);
  EXPECT_TRUE(ParsePrinterCommandLine({"--help"}).help);
  // Files may come before or after --render and the other options.
  const PrinterCommandLine render =
      ParsePrinterCommandLine({"a.zpl", "--render", "--out", "o", "-", "b/c.zpl"});
  EXPECT_EQ(render.error, "");
  EXPECT_EQ(render.render_files, (std::vector<std::string>{"a.zpl", "-", "b/c.zpl"}));
  EXPECT_EQ(render.options.output_folder, "o");
  const EngineOptions engine =
      ParsePrinterCommandLine({"--pace=0", "--media", "3", "--fault", "paused,ribbon-out"})
          .options.engine;
  EXPECT_EQ(engine.pace, std::chrono::milliseconds(0));
  EXPECT_EQ(engine.media, 3);
  EXPECT_TRUE(engine.paused && engine.ribbon_out && !engine.head_open && !engine.paper_out);
}

TEST(PrinterCommandLineTest, RejectsBadArguments) {
  struct Case {
    std::vector<std::string> args;
    const char* error;
  } cases[] = {
      {{"--port", "65536"}, "bad port: 65536"},
      {{"--port", "-1"}, "bad port: -1"},
      {{"--port", "91x"}, "bad port: 91x"},
      {{"--port="}, "bad port: "},
      {{"--port"}, "--port needs a value"},
      {{"--jobs", "two"}, "bad job count: two"},
      {{"--jobs", "-1"}, "bad job count: -1"},
      {{"--out", ""}, "--out needs a value"},
      {{"--bind="}, "--bind needs a value"},
      {{"--dpi", "250"}, "bad dpi: 250 (203, 300 or 600)"},
      {{"--dpi", "1200"}, "bad dpi: 1200 (203, 300 or 600)"},
      {{"--dpi=high"}, "bad dpi: high (203, 300 or 600)"},
      {{"--dpi"}, "--dpi needs a value"},
      {{"--encoding", "big5"},
       "bad encoding: big5 (gbk, utf-8, cp1252, cp850, cp1250, cp1251, cp1253, cp1254, cp1255, "
       "shift_jis, utf-16be, utf-16le)"},
      {{"--encoding="}, "--encoding needs a value"},
      {{"--idle", "-1"}, "bad idle time: -1"},
      {{"--idle", "1.5"}, "bad idle time: 1.5"},
      {{"--idle", "99999999999"}, "bad idle time: 99999999999"},
      {{"--pace", "fast"}, "bad pace: fast"},
      {{"--media", "-2"}, "bad media: -2"},
      {{"--fault", "paused,jammed"},
       "bad fault list: paused,jammed (paused, head-open, ribbon-out, "
       "paper-out)"},
      {{"--fault", "paused,"},
       "bad fault list: paused, (paused, head-open, ribbon-out, paper-out)"},
      {{"--verbose"}, "unknown argument: --verbose"},
      {{"9100"}, "unknown argument: 9100"},
      {{"--port", "0", "extra"}, "unknown argument: extra"},
      {{"--pictures", "-1"}, "bad picture count: -1"},
      {{"--pictures", "all"}, "bad picture count: all"},
      {{"--render"}, "--render needs at least one file"},
      {{"--render", "--out", "o"}, "--render needs at least one file"},
      {{"--render=a.zpl"}, "unknown argument: --render=a.zpl"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParsePrinterCommandLine(c.args).error, c.error) << testing::PrintToString(c.args);
  }
}

}  // namespace
}  // namespace zplport::printer

#endif  // _WIN32
