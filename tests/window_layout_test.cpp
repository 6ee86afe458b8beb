#include "ui/window_layout.h"

#include <gtest/gtest.h>

#include <string>

#include "ui/line_wrap.h"

namespace zplport::ui {
namespace {

// The windows as designed: every control in tab order, with its place in
// twips and its font. The front-ends' own tests check that they show what
// these tables say.
TEST(WindowLayoutTest, ControlsInTabOrder) {
  struct Row {
    const WindowDesc& window;
    const char* name;
    ControlKind kind;
    const char* caption;
    TwipsRect rect;
    int centipoints;
    int weight;
  } rows[] = {
      {MainWindow(),
       "Command1",
       ControlKind::kPushButton,
       "打印",
       {2400, 2280, 1455, 615},
       1425,
       kBoldWeight},
      {MainWindow(), "Text1", ControlKind::kTextBox, "", {840, 1200, 3015, 855}, 2400, kBoldWeight},
      {MainWindow(),
       "Label1",
       ControlKind::kStaticText,
       "打印数量：",
       {120, 120, 3015, 615},
       2400,
       kBoldWeight},
      {MainWindow(),
       "Command2",
       ControlKind::kPushButton,
       "说明",
       {840, 2280, 1335, 615},
       1425,
       kBoldWeight},
      {InstructionsWindow(),
       "Label1",
       ControlKind::kStaticText,
       "该程序是测试用斑马ZPL语言打印机的并口和网口测试程序。"
       "不用安装驱动。更改打印方式，请修改CONFIG.INI文件的prtmod=lpt1(或者lpt2,lpt3等);"
       "或者prtmod=ip;别的参数切勿测试。请设置好打印机IP和端口后，在配置文件处修改。",
       {240, 360, 4215, 2175},
       1200,
       kRegularWeight},
      {InstructionsWindow(),
       "Command1",
       ControlKind::kPushButton,
       "返回",
       {3480, 2640, 975, 495},
       1200,
       kBoldWeight},
  };
  std::size_t main_index = 0, instructions_index = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.window.name) + "." + row.name);
    std::size_t& index = &row.window == &MainWindow() ? main_index : instructions_index;
    ASSERT_LT(index, row.window.controls.size());
    const ControlDesc& control = row.window.controls[index++];
    EXPECT_EQ(control.name, row.name);
    EXPECT_EQ(control.kind, row.kind);
    EXPECT_EQ(control.caption, row.caption);
    EXPECT_EQ(control.rect.left, row.rect.left);
    EXPECT_EQ(control.rect.top, row.rect.top);
    EXPECT_EQ(control.rect.width, row.rect.width);
    EXPECT_EQ(control.rect.height, row.rect.height);
    EXPECT_EQ(control.font.face, "微软雅黑");
    EXPECT_EQ(control.font.centipoints, row.centipoints);
    EXPECT_EQ(control.font.weight, row.weight);
    EXPECT_EQ(control.font.charset, kGb2312Charset);
  }
  EXPECT_EQ(main_index, MainWindow().controls.size());
  EXPECT_EQ(instructions_index, InstructionsWindow().controls.size());

  EXPECT_EQ(&Control(MainControl::kCommand2), &MainWindow().controls[3]);
  EXPECT_EQ(&Control(InstructionsControl::kCommand1), &InstructionsWindow().controls[1]);
  EXPECT_EQ(InitialFocus(MainWindow()).name, "Command1");
  EXPECT_EQ(InitialFocus(InstructionsWindow()).name, "Command1");
  EXPECT_EQ(Control(InstructionsControl::kLabel1).caption, InstructionsText());
  ASSERT_TRUE(Control(MainControl::kText1).text_colour.has_value());
  EXPECT_EQ(Control(MainControl::kText1).text_colour->blue, 128);
}

TEST(WindowLayoutTest, Windows) {
  for (const WindowDesc* window : {&MainWindow(), &InstructionsWindow()}) {
    EXPECT_EQ(window->client_width, 4680);
    EXPECT_EQ(window->client_height, 3195);
  }
  EXPECT_EQ(MainWindow().title, ApplicationTitle());
  EXPECT_FALSE(MainWindow().font.has_value());
  EXPECT_EQ(InstructionsWindow().title, "说明");
  ASSERT_TRUE(InstructionsWindow().font.has_value());
  EXPECT_EQ(InstructionsWindow().font->face, "宋体");
  EXPECT_EQ(InstructionsWindow().font->centipoints, 1200);
  EXPECT_EQ(InstructionsWindow().font->weight, kRegularWeight);
}

TEST(WindowLayoutTest, TwipsToPixels) {
  struct {
    int twips, dpi, pixels;
  } cases[] = {
      {4680, 96, 312},  {3195, 96, 213},  {2175, 96, 145},
      {4680, 144, 468}, {2175, 144, 217},  // 217.5, rounded down
      {15, 120, 1},     {14, 96, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TwipsToPixels(c.twips, c.dpi), c.pixels) << c.twips << " at " << c.dpi;
  }
}

// A face whose Chinese characters are one em wide and Latin ones half an
// em, as the Chinese faces that stand in for 微软雅黑 are, at least.
int MeasureAt(int em, std::string_view text) {
  int width = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) {
      width += em / 2;
    } else if (byte >= 0xE0) {
      width += em;  // a three-byte character: Chinese or full-width here
    }
  }
  return width;
}

TEST(WindowLayoutTest, InstructionsFitTheirBoxAtEveryDpi) {
  const ControlDesc& label = Control(InstructionsControl::kLabel1);
  ASSERT_TRUE(label.wraps);
  for (int dpi : {96, 120, 144, 192}) {
    SCOPED_TRACE(dpi);
    const int em = label.font.centipoints * dpi / 7200;
    const auto lines = WrapLines(InstructionsText(), TwipsToPixels(label.rect.width, dpi),
                                 [&](std::string_view text) { return MeasureAt(em, text); });
    ASSERT_GE(lines.size(), 2u);
    EXPECT_LE(static_cast<int>(lines.size()) * TwipsToPixels(label.line_height, dpi),
              TwipsToPixels(label.rect.height, dpi))
        << lines.size() << " lines";
    // The line spacing leaves the glyphs room.
    EXPECT_GE(TwipsToPixels(label.line_height, dpi), em);
  }
}

TEST(LineWrapTest, BreaksWhereChineseTypesettingAllows) {
  // Every character is one unit wide.
  auto units = [](std::string_view text) {
    int n = 0;
    for (unsigned char c : text) n += (c & 0xC0) != 0x80;
    return n;
  };
  struct {
    const char* text;
    int width;
    std::vector<std::string> lines;
  } cases[] = {
      {"", 5, {}},
      {"   ", 5, {}},
      {"一二三四五六七", 3, {"一二三", "四五六", "七"}},
      {"一二三四五六", 3, {"一二三", "四五六"}},
      // A Latin word moves to the next line whole.
      {"一二CONFIG", 6, {"一二", "CONFIG"}},
      {"ab cd ef", 5, {"ab cd", "ef"}},
      {"ab  cd", 3, {"ab", "cd"}},
      // Closing punctuation stays with the character before it, and the
      // character after opening punctuation with it.
      {"一二三。四", 3, {"一二", "三。四"}},
      {"一二（三四", 3, {"一二", "（三四"}},
      {"等);或者", 3, {"等);", "或者"}},
      // A word wider than the line is cut where the line is full.
      {"prtmod=ip", 4, {"prtm", "od=i", "p"}},
      {"x", 0, {"x"}},
      // Bytes that are not UTF-8 count as one character each.
      {"ab\xFF\xFE", 3, {"ab\xFF", "\xFE"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const auto lines = WrapLines(c.text, c.width, units);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.end()), c.lines);
  }
}

}  // namespace
}  // namespace zplport::ui
