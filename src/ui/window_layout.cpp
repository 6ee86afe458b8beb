#include "ui/window_layout.h"

#include <array>

namespace zplport::ui {
namespace {

constexpr std::string_view kYaHei = "微软雅黑";
constexpr std::string_view kYaHeiLatin = "Microsoft YaHei";

constexpr FontDesc YaHei(int centipoints, int weight) {
  return {kYaHei, kYaHeiLatin, centipoints, weight, kGb2312Charset};
}

constexpr std::string_view kInstructions =
    "该程序是测试用斑马ZPL语言打印机的并口和网口测试程序。"
    "不用安装驱动。更改打印方式，请修改CONFIG.INI文件的prtmod=lpt1(或者lpt2,lpt3等);"
    "或者prtmod=ip;别的参数切勿测试。"
    "请设置好打印机IP和端口后，在配置文件处修改。";

constexpr std::array kMainControls{
    ControlDesc{.name = "Command1",
                .kind = ControlKind::kPushButton,
                .caption = "打印",
                .rect = {2400, 2280, 1455, 615},
                .font = YaHei(1425, kBoldWeight)},
    ControlDesc{.name = "Text1",
                .kind = ControlKind::kTextBox,
                .caption = "",
                .rect = {840, 1200, 3015, 855},
                .font = YaHei(2400, kBoldWeight),
                .text_colour = Colour{0, 0, 128}},
    ControlDesc{.name = "Label1",
                .kind = ControlKind::kStaticText,
                .caption = "打印数量：",
                .rect = {120, 120, 3015, 615},
                .font = YaHei(2400, kBoldWeight)},
    ControlDesc{.name = "Command2",
                .kind = ControlKind::kPushButton,
                .caption = "说明",
                .rect = {840, 2280, 1335, 615},
                .font = YaHei(1425, kBoldWeight)},
};

// Seven wrapped lines at 20 pixels (at 96 dpi) fill the label's 145; the
// faces' own spacing, 21 pixels for 微软雅黑 and 23 for the Noto face that
// stands in for it, would leave the last line out.
constexpr std::array kInstructionsControls{
    ControlDesc{.name = "Label1",
                .kind = ControlKind::kStaticText,
                .caption = kInstructions,
                .rect = {240, 360, 4215, 2175},
                .font = YaHei(1200, kRegularWeight),
                .wraps = true,
                .line_height = 300},
    ControlDesc{.name = "Command1",
                .kind = ControlKind::kPushButton,
                .caption = "返回",
                .rect = {3480, 2640, 975, 495},
                .font = YaHei(1200, kBoldWeight)},
};

constexpr std::string_view kTitle = "ZPL 打印机测试";

const WindowDesc kMain{
    .name = "Form1",
    .title = kTitle,
    .client_width = 4680,
    .client_height = 3195,
    .font = std::nullopt,
    .controls = kMainControls,
};

const WindowDesc kInstructionsWindow{
    .name = "Form2",
    .title = "说明",
    .client_width = 4680,
    .client_height = 3195,
    .font = FontDesc{"宋体", "SimSun", 1200, kRegularWeight, kGb2312Charset},
    .controls = kInstructionsControls,
};

}  // namespace

std::string_view ApplicationTitle() { return kTitle; }
std::string_view OkCaption() { return "确定"; }
std::string_view InstructionsText() { return kInstructions; }

const WindowDesc& MainWindow() { return kMain; }
const WindowDesc& InstructionsWindow() { return kInstructionsWindow; }

const ControlDesc& Control(MainControl control) {
  return kMainControls[static_cast<std::size_t>(control)];
}

const ControlDesc& Control(InstructionsControl control) {
  return kInstructionsControls[static_cast<std::size_t>(control)];
}

const ControlDesc& InitialFocus(const WindowDesc& window) {
  for (const ControlDesc& control : window.controls) {
    if (control.kind != ControlKind::kStaticText) return control;
  }
  return window.controls.front();
}

}  // namespace zplport::ui
