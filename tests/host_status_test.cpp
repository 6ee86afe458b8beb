#include "ui/cli/host_status.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zplport {
namespace {

// One frame: STX, the fields, ETX CR LF.
std::string Frame(const std::string& fields) { return "\x02" + fields + "\x03\r\n"; }

const std::string kReadyFirst = "030,0,0,1218,000,0,0,0,000,0,0,0";
const std::string kReadySecond = "001,0,0,0,0,2,6,0,00000000,1,000";
const std::string kThird = "1234,0";

TEST(HostStatusTest, DecodeTable) {
  struct Case {
    const char* name;
    std::string bytes;
    bool readable;
    std::vector<std::string> conditions{};
    long label_length = 0;
    long held = 0;
    bool partial = false;
  } cases[] = {
      // A ready printer in the guide's layout, field widths as given there.
      {"ready", Frame(kReadyFirst) + Frame(kReadySecond) + Frame(kThird), true, {}, 1218},
      {"every flag that stops printing",
       Frame("030,1,1,0812,000,1,1,0,000,1,1,1") + Frame("001,0,1,1,0,2,6,0,00000000,1,000") +
           Frame(kThird),
       true,
       {"缺纸", "暂停", "打印头打开", "碳带用完", "接收缓冲区已满", "通信诊断模式", "配置数据丢失",
        "打印头温度过低", "打印头温度过高"},
       812},
      {"formats waiting and a batch half done, a format still arriving",
       Frame("030,0,0,1218,003,0,0,1,000,0,0,0") + Frame("001,0,0,0,0,2,6,0,00000012,1,000") +
           Frame(kThird),
       true,
       {},
       1218,
       15,
       true},
      // What a printer echoes or says before the answer, frames without CR
      // LF, and fields past the guide's (newer firmware) are not in the way.
      {"noise, bare frames, extra fields",
       "\r\nxyz\x02" + kReadyFirst + "\x03\x02" + kReadySecond + ",7,abc\x03\x02" + kThird + "\x03",
       true,
       {},
       1218},
      {"third string missing", Frame(kReadyFirst) + Frame(kReadySecond), false},
      {"a flag that is neither 0 nor 1",
       Frame("030,2,0,1218,000,0,0,0,000,0,0,0") + Frame(kReadySecond) + Frame(kThird), false},
      {"a field that is not a number",
       Frame("030,0,0,12A8,000,0,0,0,000,0,0,0") + Frame(kReadySecond) + Frame(kThird), false},
      {"a field left empty",
       Frame("030,0,,1218,000,0,0,0,000,0,0,0") + Frame(kReadySecond) + Frame(kThird), false},
      {"a string one field short",
       Frame(kReadyFirst) + Frame("001,0,0,0,0,2,6,0,00000000,1") + Frame(kThird), false},
      {"nothing framed", "030,0,0,1218,000,0,0,0,000,0,0,0\r\n", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<HostStatus> status = DecodeHostStatus(c.bytes);
    ASSERT_EQ(status.has_value(), c.readable);
    if (!status) continue;
    EXPECT_EQ(StoppingConditions(*status), c.conditions);
    EXPECT_EQ(status->label_length, c.label_length);
    EXPECT_EQ(LabelsHeld(*status), c.held);
    EXPECT_EQ(status->partial_format, c.partial);
  }
}

TEST(HostStatusTest, AnswerEndsAtTheThirdEtx) {
  const std::string answer = Frame(kReadyFirst) + Frame(kReadySecond) + Frame(kThird);
  EXPECT_EQ(HostStatusEnd(answer), answer.size() - 2);  // before the last CR LF
  EXPECT_EQ(HostStatusEnd(answer.substr(0, answer.size() - 3)), std::string::npos);
  // An ETX before the first STX closes no string.
  EXPECT_EQ(HostStatusEnd("\x03\x03\x03" + Frame(kReadyFirst)), std::string::npos);
}

TEST(HostStatusTest, BytesAreShownReadably) {
  EXPECT_EQ(ShowBytes("\x02"
                      "ab\x03\r\n\x7f\xff"),
            "<STX>ab<ETX><CR><LF>\\x7F\\xFF");
  EXPECT_EQ(ShowBytes(std::string(200, 'x')), std::string(160, 'x') + "…");
}

}  // namespace
}  // namespace zplport
