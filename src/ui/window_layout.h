// What the two windows hold, written once for every front-end: the texts,
// the titles, and each control's kind, caption, rectangle, font and place in
// the tab order. Places and sizes are in twips (1440 to the inch) inside the
// client area, as the windows were designed; a front-end turns them into its
// own pixels with TwipsToPixels and restates no number or text of its own.
// All texts are UTF-8. The tables are constant and live for the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace zplport::ui {

inline constexpr int kTwipsPerInch = 1440;
// The dots per inch at which a twip layout is designed, and which Qt's
// device-independent pixels stand for.
inline constexpr int kDesignDpi = 96;
inline constexpr int kGb2312Charset = 134;
inline constexpr int kRegularWeight = 400;  // the values of LOGFONT's lfWeight
inline constexpr int kBoldWeight = 700;

// Pixels at `dpi`, rounded down as the Windows dialog units are.
constexpr int TwipsToPixels(int twips, int dpi) { return twips * dpi / kTwipsPerInch; }

struct FontDesc {
  std::string_view face;        // the name Windows gives it
  std::string_view latin_face;  // the same face's English name
  int centipoints;              // 14.25 pt is 1425
  int weight;                   // kRegularWeight or kBoldWeight
  int charset;
};

struct Colour {
  std::uint8_t red, green, blue;
};

struct TwipsRect {
  int left, top, width, height;
};

enum class ControlKind {
  kPushButton,  // never a default button, so Enter presses none
  kTextBox,     // single line, enabled and editable
  kStaticText,  // takes no focus
};

struct ControlDesc {
  std::string_view name;  // the control's name in code and in tests
  ControlKind kind;
  std::string_view caption;  // the text box's content when the window opens
  TwipsRect rect;
  FontDesc font;
  bool wraps = false;  // static text wrapped to the control's width
  // Twips from one wrapped line to the next, so that the whole text fits
  // the control's height whatever face stands in for the named one; 0 is
  // the font's own spacing.
  int line_height = 0;
  std::optional<Colour> text_colour = std::nullopt;  // the system's colour when empty
};

struct WindowDesc {
  std::string_view name;
  std::string_view title;
  int client_width, client_height;  // twips
  std::optional<FontDesc> font;     // the window's own font, which no control uses
  // In tab order; the first control that takes the focus holds it when the
  // window opens.
  std::span<const ControlDesc> controls;
};

// The main window's controls and the instructions window's, by their place
// in the tab order.
enum class MainControl : std::size_t { kCommand1, kText1, kLabel1, kCommand2 };
enum class InstructionsControl : std::size_t { kLabel1, kCommand1 };

// The title of the main window and of every message box.
std::string_view ApplicationTitle();
// The caption of a message box's only button.
std::string_view OkCaption();
// The instructions window's text, shown unchanged.
std::string_view InstructionsText();

const WindowDesc& MainWindow();
const WindowDesc& InstructionsWindow();
const ControlDesc& Control(MainControl control);
const ControlDesc& Control(InstructionsControl control);
// The control that holds the focus when `window` opens.
const ControlDesc& InitialFocus(const WindowDesc& window);

}  // namespace zplport::ui
