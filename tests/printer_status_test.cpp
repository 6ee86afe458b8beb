// The loopback printer is built for POSIX systems only.
#ifndef _WIN32

#include "printer/status.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zplport::printer {
namespace {

// The comma-separated fields of each STX ... ETX CR LF frame; a frame that
// is not framed so fails the test.
std::vector<std::vector<std::string>> Frames(const std::string& reply) {
  std::vector<std::vector<std::string>> frames;
  std::size_t at = 0;
  while (at < reply.size()) {
    EXPECT_EQ(reply[at], '\x02') << "frame " << frames.size() << " does not start with STX";
    const std::size_t end = reply.find("\x03\r\n", at);
    if (end == std::string::npos) {
      ADD_FAILURE() << "frame " << frames.size() << " not ended by ETX CR LF";
      break;
    }
    std::vector<std::string> fields;
    std::size_t start = at + 1;
    for (;;) {
      const std::size_t comma = reply.find(',', start);
      if (comma == std::string::npos || comma > end) {
        fields.push_back(reply.substr(start, end - start));
        break;
      }
      fields.push_back(reply.substr(start, comma - start));
      start = comma + 1;
    }
    frames.push_back(fields);
    at = end + 3;
  }
  return frames;
}

TEST(HostStatusReplyTest, ThreeFramesOfAReadyPrinter) {
  const auto frames = Frames(HostStatusReply(1218));
  ASSERT_EQ(frames.size(), 3u);
  ASSERT_EQ(frames[0].size(), 12u);
  ASSERT_EQ(frames[1].size(), 11u);
  ASSERT_EQ(frames[2].size(), 2u);
  const auto& first = frames[0];
  EXPECT_EQ(first[1], "0") << "paper out";
  EXPECT_EQ(first[2], "0") << "pause";
  EXPECT_EQ(first[3], "1218") << "label length";
  EXPECT_EQ(first[4], "000") << "formats in the buffer";
  EXPECT_EQ(first[5], "0") << "buffer full";
  EXPECT_EQ(first[7], "0") << "partial format";
  EXPECT_EQ(first[9], "0") << "corrupt RAM";
  EXPECT_EQ(first[10], "0") << "under temperature";
  EXPECT_EQ(first[11], "0") << "over temperature";
  const auto& second = frames[1];
  EXPECT_EQ(second[2], "0") << "head up";
  EXPECT_EQ(second[3], "0") << "ribbon out";
  EXPECT_EQ(second[7], "0") << "label waiting";
  EXPECT_EQ(second[8], "00000000") << "labels left in the batch";
  for (const auto& frame : frames) {
    for (const auto& field : frame) {
      EXPECT_FALSE(field.empty());
      EXPECT_EQ(field.find_first_not_of("0123456789"), std::string::npos) << field;
    }
  }
  EXPECT_EQ(Frames(HostStatusReply(300))[0][3], "0300");
}

TEST(HostStatusReplyTest, TellsTheEngineState) {
  const EngineStatus status{.paper_out = true,
                            .paused = true,
                            .head_open = true,
                            .ribbon_out = true,
                            .formats_waiting = 12,
                            .partial_format = true,
                            .labels_remaining = 345};
  const auto frames = Frames(HostStatusReply(1218, status));
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0], (std::vector<std::string>{"030", "1", "1", "1218", "012", "0", "0", "1",
                                                 "000", "0", "0", "0"}));
  EXPECT_EQ(frames[1][2], "1") << "head up";
  EXPECT_EQ(frames[1][3], "1") << "ribbon out";
  EXPECT_EQ(frames[1][8], "00000345") << "labels left in the batch";
}

TEST(HostStatusReplyTest, ErrorQueryNamesMediaRibbonAndHead) {
  EXPECT_EQ(HostQueryErrorsReply({}),
            "\x02\r\nPRINTER STATUS\r\n   ERRORS:         0 00000000 00000000\r\n"
            "   WARNINGS:       0 00000000 00000000\r\n\x03\r\n");
  EXPECT_NE(HostQueryErrorsReply({.paper_out = true, .head_open = true})
                .find("ERRORS:         1 00000000 00000005"),
            std::string::npos);
}

TEST(ImmediateCommandScannerTest, FindsCommandsAcrossPieces) {
  using C = ImmediateCommand;
  struct Case {
    std::vector<std::string> pieces;
    std::vector<C> expected;
  } cases[] = {
      {{"~HS"}, {C::kHostStatus}},
      {{"~hs"}, {C::kHostStatus}},
      {{"^XA^FDx^FS^XZ~HS~Hs"}, {C::kFormatStart, C::kHostStatus, C::kHostStatus}},
      {{"~H", "S"}, {C::kHostStatus}},
      {{"~", "H", "S"}, {C::kHostStatus}},
      {{"~", "", "HS"}, {C::kHostStatus}},
      {{"~~HS"}, {C::kHostStatus}},
      {{"~HSS", "~HS"}, {C::kHostStatus, C::kHostStatus}},
      {{"^HS", "~HX", "H~S"}, {}},
      {{"~H", "~HS"}, {C::kHostStatus}},
      {{"~HQ", "ES~pp"}, {C::kQueryErrors, C::kPause}},
      {{"~P", "S~J", "a"}, {C::kResume, C::kCancelAll}},
      {{"~HQE", "S"}, {C::kQueryErrors}},
  };
  for (const auto& c : cases) {
    ImmediateCommandScanner scanner;
    std::vector<C> found;
    for (const auto& piece : c.pieces) {
      for (const C command : scanner.Feed(piece)) found.push_back(command);
    }
    EXPECT_EQ(found, c.expected) << testing::PrintToString(c.pieces);
  }
}

}  // namespace
}  // namespace zplport::printer

#endif  // _WIN32
