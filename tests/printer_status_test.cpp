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

TEST(StatusRequestScannerTest, FindsRequestsAcrossPieces) {
  struct Case {
    std::vector<std::string> pieces;
    int expected;
  } cases[] = {
      {{"~HS"}, 1},       {{"~hs"}, 1},         {{"^XA^FDx^FS^XZ~HS~Hs"}, 2},
      {{"~H", "S"}, 1},   {{"~", "H", "S"}, 1}, {{"~", "", "HS"}, 1},
      {{"~~HS"}, 1},      {{"~HSS", "~HS"}, 2}, {{"^HS", "~HX", "H~S"}, 0},
      {{"~H", "~HS"}, 1},
  };
  for (const auto& c : cases) {
    StatusRequestScanner scanner;
    int found = 0;
    for (const auto& piece : c.pieces) found += scanner.Feed(piece);
    EXPECT_EQ(found, c.expected) << testing::PrintToString(c.pieces);
  }
}

}  // namespace
}  // namespace zplport::printer

#endif  // _WIN32
