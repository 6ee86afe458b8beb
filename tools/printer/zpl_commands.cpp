// The commands the printer knows: one handler each, and the table that
// finds it by code. A handler reads its parameters from the Command and
// changes the field being built (r.draft_), the format, the job (r.job_)
// or what the printer keeps (r.state_). A command that makes a field draw
// something else than text starts with r.StartLook(kind, code) and fills
// in r.draft_.look.
#include <algorithm>
#include <iterator>
#include <memory>
#include <unordered_map>
#include <utility>

#include "printer/text_decoding.h"
#include "printer/zpl_params.h"
#include "printer/zpl_reader.h"

namespace zplport::printer {
namespace {

constexpr long long kMaxQuantity = 99999999;

bool Colour(std::string_view text) { return !text.empty() && Upper(text.front()) == 'W'; }

}  // namespace

struct CommandHandlers {
  using R = ZplReader;
  using C = Command;

  // Formats and fields.

  static void StartLabel(R& r, const C&) {  // ^XA
    if (r.in_format_) r.Warn("^XA inside a format started it over");
    r.StartFormat();
  }

  static void EndLabel(R& r, const C&) { r.EndFormat(); }  // ^XZ

  static void FieldOrigin(R& r, const C& c) {  // ^FO, ^FT
    if (r.FieldHasContent()) {
      r.Warn("field not ended by ^FS");
      r.CommitField();
    }
    const std::string code(c.code);
    const auto x = r.Position(c.Param(0), code + " x");
    const auto y = r.Position(c.Param(1), code + " y");
    const bool baseline = c.code == "^FT";
    r.draft_.at = {x.value_or(0),  y.value_or(0), baseline && !x,
                   baseline && !y, baseline,      Justification(c.Param(2))};
  }

  // 0 left, 1 right, 2 as the script runs: left for the scripts drawn here.
  static std::optional<bool> Justification(std::string_view z) {
    if (z == "0" || z == "2") return false;
    if (z == "1") return true;
    return std::nullopt;
  }

  static void FieldSeparator(R& r, const C&) { r.CommitField(); }  // ^FS

  static void FieldData(R& r, const C& c) {  // ^FD, ^FV
    // Only as much as the printer keeps, plus room for ^FH escapes.
    if (c.raw.size() > kMaxParamBytes) {
      r.Warn("field data cut to " + std::to_string(kMaxFieldBytes) + " bytes");
    }
    std::optional<std::string>& data = r.draft_.data;
    if (!data) data.emplace();
    data->append(c.params, 0, kMaxParamBytes - std::min(kMaxParamBytes, data->size()));
  }

  static void FieldHex(R& r, const C& c) {  // ^FH
    r.draft_.hex_indicator = c.params.empty() ? '_' : c.params.front();
  }

  static void FieldNumber(R& r, const C& c) {  // ^FN
    if (const auto n = Number(c.Param(0))) r.draft_.number = r.Clamped(*n, 0, 9999, "^FN");
  }

  static void FieldBlock(R& r, const C& c) {  // ^FB
    TextBlock block;
    if (const auto w = Number(c.Param(0))) {
      block.width = r.Clamped(*w, 0, kMaxPosition, "^FB width");
    }
    if (const auto l = Number(c.Param(1))) block.max_lines = r.Clamped(*l, 1, 9999, "^FB lines");
    if (const auto s = Number(c.Param(2))) {
      block.line_spacing = r.Clamped(*s, -9999, 9999, "^FB line spacing");
    }
    if (const std::string_view j = c.Param(3); !j.empty()) {
      const char u = Upper(j.front());
      if (u == 'L' || u == 'C' || u == 'R' || u == 'J') block.justification = u;
    }
    if (const auto h = Number(c.Param(4))) {
      block.hanging_indent = r.Clamped(*h, 0, 9999, "^FB hanging indent");
    }
    r.draft_.block = block;
  }

  static void FieldReverse(R& r, const C&) { r.draft_.reverse = true; }  // ^FR

  static void FieldOrientationDefault(R& r, const C& c) {  // ^FW
    if (const auto o = OrientationOf(c.Param(0))) r.state_.orientation = *o;
    if (const auto right = Justification(c.Param(1))) r.state_.right_justified = *right;
  }

  static void Comment(R&, const C&) {}  // ^FX

  // Fonts and text.

  static void Font(R& r, const C& c) {  // ^A0, ^AD, ..., ^A@
    const bool named = c.code == "^A@";
    r.draft_.font = named ? '@' : c.font;
    r.draft_.orientation = OrientationOf(c.Param(0));
    r.draft_.font_size = r.Sizes(c, 1, named ? std::string("^A@") : std::string("^A") + c.font);
  }

  // ^GS: the printer's symbols ® © ™ and the UL and CSA marks for A to E,
  // sized like font 0, ^CF's size unless given.
  static void GraphicSymbol(R& r, const C& c) {
    r.draft_.graphic_symbol = true;
    r.draft_.font = '0';
    r.draft_.orientation = OrientationOf(c.Param(0));
    r.draft_.font_size = r.Sizes(c, 1, "^GS");
  }

  static void FontDefault(R& r, const C& c) {  // ^CF
    if (const std::string_view name = c.Param(0); !name.empty()) {
      r.state_.font = Upper(name.front());
    }
    const FontSize size = r.Sizes(c, 1, "^CF");
    if (size.height > 0 || size.width > 0) r.state_.font_size = size;
  }

  static void FontFile(R& r, const C& c) {  // ^CW
    if (const std::string_view name = c.Param(0); !name.empty()) {
      r.state_.font_files.insert(Upper(name.front()));
    }
  }

  static void Charset(R& r, const C& c) {  // ^CI
    const std::string_view set = c.Param(0);
    if (set.empty()) return;
    r.job_.charset = std::string(set);
    const auto number = Number(set);
    if (!number || EncodingOfCharset(*number) == nullptr) {
      r.Warn("^CI" + std::string(set) + " not known: text read as before");
      return;
    }
    r.state_.charset = std::to_string(*number);
    if (c.parts.size() > 1) r.Warn("^CI character remapping ignored");
  }

  // Shapes. A shape is never thicker than it is wide or high.

  static void FitThickness(R& r) {
    ZplField& shape = r.draft_.look;
    shape.thickness = std::min({shape.thickness, shape.box_width, shape.box_height});
  }

  static void Box(R& r, const C& c) {  // ^GB
    r.StartLook(ZplField::Kind::kBox, c.code);
    ZplField& shape = r.draft_.look;
    shape.thickness = r.Dots(c.Param(2), 1, 1, "^GB thickness");
    shape.box_width = std::max(shape.thickness, r.Dots(c.Param(0), 0, 0, "^GB width"));
    shape.box_height = std::max(shape.thickness, r.Dots(c.Param(1), 0, 0, "^GB height"));
    shape.white = Colour(c.Param(3));
    const auto rounding = Number(c.Param(4));
    shape.rounding = rounding ? r.Clamped(*rounding, 0, 8, "^GB rounding") : 0;
    FitThickness(r);
    shape.thickness = std::max(shape.thickness, 1);
  }

  static void Circle(R& r, const C& c) {  // ^GC
    r.StartLook(ZplField::Kind::kEllipse, c.code);
    ZplField& shape = r.draft_.look;
    shape.thickness = r.Dots(c.Param(1), 1, 1, "^GC thickness");
    shape.box_width = shape.box_height = std::max(3, r.Dots(c.Param(0), 3, 3, "^GC diameter"));
    shape.white = Colour(c.Param(2));
    FitThickness(r);
  }

  // ^GE and ^GD: width, height, thickness and colour; a side not given is
  // as long as the thickness, and none is shorter than 3 dots.
  static ZplField& WidthHeightShape(R& r, const C& c, ZplField::Kind kind) {
    r.StartLook(kind, c.code);
    ZplField& shape = r.draft_.look;
    const std::string code(c.code);
    shape.thickness = r.Dots(c.Param(2), 1, 1, code + " thickness");
    shape.box_width = std::max(3, r.Dots(c.Param(0), shape.thickness, 3, code + " width"));
    shape.box_height = std::max(3, r.Dots(c.Param(1), shape.thickness, 3, code + " height"));
    shape.white = Colour(c.Param(3));
    FitThickness(r);
    return shape;
  }

  static void Ellipse(R& r, const C& c) {  // ^GE
    WidthHeightShape(r, c, ZplField::Kind::kEllipse);
  }

  static void Diagonal(R& r, const C& c) {  // ^GD
    ZplField& shape = WidthHeightShape(r, c, ZplField::Kind::kDiagonal);
    const std::string_view lean = c.Param(4);
    shape.leans_right = lean.empty() || !(Upper(lean.front()) == 'L' || lean.front() == '\\');
  }

  // Images.

  static void GraphicField(R& r, const C& c) {  // ^GF
    const std::string_view format_text = c.Param(0);
    const char format = format_text.empty() ? 'A' : Upper(format_text.front());
    const auto binary = Number(c.Param(1));
    const auto total = Number(c.Param(2));
    const auto row = Number(c.Param(3));
    if (!binary || !total || !row || *total <= 0 || *row <= 0 ||
        (format != 'A' && format != 'B' && format != 'C')) {
      r.Warn("^GF without its format and sizes ignored");
      return;
    }
    r.StartLook(ZplField::Kind::kGraphic, c.code);
    auto graphic = std::make_shared<GraphicData>();
    graphic->format = format;
    graphic->total_bytes = static_cast<std::size_t>(*total);
    graphic->row_bytes = static_cast<int>(std::min<long long>(*row, kMaxPosition));
    if (graphic->total_bytes <= r.options_.memory) {
      if (format == 'A') {
        graphic->data = r.GraphicText(c.raw, 4, graphic->total_bytes);
      } else {
        const std::size_t from = r.DataStart(c.raw, 4);
        if (from != std::string_view::npos) graphic->data = std::string(c.raw.substr(from));
        if (graphic->data.size() < static_cast<std::size_t>(*binary)) {
          r.Warn("^GF binary data cut off");
        }
      }
    }
    r.draft_.look.graphic = std::move(graphic);
  }

  static void RecallGraphic(R& r, const C& c) {  // ^XG, ^IM
    const std::string code(c.code);
    const std::string name = ObjectName(c.Param(0), ".GRF");
    r.StartLook(ZplField::Kind::kGraphic, code);
    ZplField& look = r.draft_.look;
    if (code == "^XG") {
      if (const auto mx = Number(c.Param(1))) look.magnify_x = r.Clamped(*mx, 1, 10, "^XG x");
      if (const auto my = Number(c.Param(2))) look.magnify_y = r.Clamped(*my, 1, 10, "^XG y");
    }
    const auto it = r.state_.graphics.find(name);
    if (it == r.state_.graphics.end()) {
      r.Warn(code + " " + name + ": no such graphic");
    } else {
      look.graphic = it->second;
    }
  }

  static void DownloadGraphic(R& r, const C& c) {  // ~DG
    const auto total = Number(c.Param(1));
    const auto row = Number(c.Param(2));
    const std::string name = ObjectName(c.Param(0), ".GRF");
    if (!total || !row || *total <= 0 || *row <= 0) {
      r.Warn("~DG " + name + " without its sizes ignored");
      return;
    }
    auto graphic = std::make_shared<GraphicData>();
    graphic->format = 'A';
    graphic->total_bytes = static_cast<std::size_t>(*total);
    graphic->row_bytes = static_cast<int>(std::min<long long>(*row, kMaxPosition));
    graphic->data = r.GraphicText(c.raw, 3, graphic->total_bytes);
    r.StoreGraphic(name, std::move(graphic));
  }

  static void EraseGraphics(R& r, const C&) { r.state_.graphics.clear(); }  // ^EG, ~EG

  // Bar codes: ^BY's defaults, then the command's own parameters.

  static void BarcodeDefaults(R& r, const C& c) {  // ^BY
    if (const auto w = Number(c.Param(0)))
      r.state_.module_width = r.Clamped(*w, 1, 10, "^BY width");
    if (const auto ratio = Tenths(c.Param(1))) {
      r.state_.ratio = static_cast<double>(r.Clamped(*ratio, 20, 30, "^BY ratio (tenths)")) / 10.0;
    }
    if (const auto h = Number(c.Param(2))) {
      r.state_.bar_height = r.Clamped(*h, 1, kMaxPosition, "^BY height");
    }
  }

  // Starts the field's bar code; the caller fills in the rest.
  static Barcode& StartBarcode(R& r, const C& c, Symbology symbology) {
    r.StartLook(ZplField::Kind::kBarcode, c.code);
    Barcode& b = r.draft_.look.barcode;
    b.symbology = symbology;
    b.module_width = r.state_.module_width;
    b.ratio = r.state_.ratio;
    b.height = r.state_.bar_height;
    return b;
  }

  // Most bar codes take their orientation as their first parameter.
  static void OwnOrientation(R& r, const C& c) { r.draft_.orientation = OrientationOf(c.Param(0)); }

  static void Height(R& r, const C& c, std::size_t index, Barcode& b) {
    if (const auto h = Number(c.Param(index))) {
      b.height = r.Clamped(*h, 1, kMaxPosition, std::string(c.code) + " height");
    }
  }

  static void Flag(const C& c, std::size_t index, bool& out) {
    if (const auto yes = YesNo(c.Param(index))) out = *yes;
  }

  static void Code128(R& r, const C& c) {  // ^BC
    Barcode& b = StartBarcode(r, c, Symbology::kCode128);
    Height(r, c, 1, b);
    Flag(c, 2, b.interpretation);
    Flag(c, 3, b.interpretation_above);
    if (const std::string_view m = c.Param(5); !m.empty()) b.mode = Upper(m.front());
    OwnOrientation(r, c);
  }

  static void Code39(R& r, const C& c) {  // ^B3
    Barcode& b = StartBarcode(r, c, Symbology::kCode39);
    Flag(c, 1, b.check_digit);
    Height(r, c, 2, b);
    Flag(c, 3, b.interpretation);
    Flag(c, 4, b.interpretation_above);
    OwnOrientation(r, c);
  }

  static void Ean13(R& r, const C& c) {  // ^BE
    Barcode& b = StartBarcode(r, c, Symbology::kEan13);
    Height(r, c, 1, b);
    Flag(c, 2, b.interpretation);
    Flag(c, 3, b.interpretation_above);
    OwnOrientation(r, c);
  }

  static void Interleaved2of5(R& r, const C& c) {  // ^B2
    Barcode& b = StartBarcode(r, c, Symbology::kInterleaved2of5);
    Height(r, c, 1, b);
    Flag(c, 2, b.interpretation);
    Flag(c, 3, b.interpretation_above);
    Flag(c, 4, b.check_digit);
    OwnOrientation(r, c);
  }

  // A QR or Aztec code's module when the command gives none: larger on
  // printers with finer dots.
  static int DefaultMagnification(const R& r) {
    const int dpi = r.options_.dpi;
    return dpi >= 600 ? 6 : dpi >= 300 ? 3 : 2;
  }

  static void QrCode(R& r, const C& c) {  // ^BQ: never turned, see CommitField
    Barcode& b = StartBarcode(r, c, Symbology::kQrCode);
    b.interpretation = false;
    if (const auto model = Number(c.Param(1)); model && *model == 1) {
      r.Warn("^BQ model 1 drawn as model 2");
    }
    if (const auto m = Number(c.Param(2))) {
      b.magnification = r.Clamped(*m, 1, 10, "^BQ magnification");
    } else {
      b.magnification = DefaultMagnification(r);
    }
    if (const std::string_view level = c.Param(3); !level.empty()) {
      const char l = Upper(level.front());
      b.error_correction = (l == 'H' || l == 'Q' || l == 'M' || l == 'L') ? l : 'M';
    }
  }

  static void DataMatrix(R& r, const C& c) {  // ^BX
    Barcode& b = StartBarcode(r, c, Symbology::kDataMatrix);
    b.interpretation = false;
    if (const auto h = Number(c.Param(1)); h && *h > 0) {
      b.magnification = r.Clamped(*h, 1, kMaxPosition, "^BX module");
    }
    if (const auto quality = Number(c.Param(2)); quality && *quality != 200) {
      r.Warn("^BX quality " + std::to_string(*quality) + " drawn as ECC 200");
    }
    if (const auto n = Number(c.Param(3))) b.columns = r.Clamped(*n, 0, 144, "^BX columns");
    if (const auto n = Number(c.Param(4))) b.rows = r.Clamped(*n, 0, 144, "^BX rows");
    if (const std::string_view g = c.Param(6); !g.empty()) b.escape = g.front();
    if (const auto a = Number(c.Param(7))) b.rectangular = *a == 2;
    OwnOrientation(r, c);
  }

  static void Pdf417(R& r, const C& c) {  // ^B7
    Barcode& b = StartBarcode(r, c, Symbology::kPdf417);
    b.interpretation = false;
    Height(r, c, 1, b);
    if (const auto s = Number(c.Param(2))) b.security = r.Clamped(*s, 0, 8, "^B7 security");
    if (const auto n = Number(c.Param(3))) b.columns = r.Clamped(*n, 1, 30, "^B7 columns");
    if (const auto n = Number(c.Param(4))) b.rows = r.Clamped(*n, 3, 90, "^B7 rows");
    Flag(c, 5, b.truncated);
    OwnOrientation(r, c);
  }

  static void Aztec(R& r, const C& c) {  // ^BO, and ^B0 as older printers name it
    Barcode& b = StartBarcode(r, c, Symbology::kAztec);
    b.interpretation = false;
    if (const auto m = Number(c.Param(1))) {
      b.magnification = r.Clamped(*m, 1, 10, std::string(c.code) + " magnification");
    } else {
      b.magnification = DefaultMagnification(r);
    }
    if (const auto d = Number(c.Param(3))) {
      const bool known = (*d >= 0 && *d <= 99) || (*d >= 101 && *d <= 104) ||
                         (*d >= 201 && *d <= 232) || *d == 300;
      if (known) {
        b.aztec_size = static_cast<int>(*d);
      } else {
        r.Warn(std::string(c.code) + " size " + std::to_string(*d) + " read as the default");
      }
    }
    if (!c.Param(5).empty() && c.Param(5) != "1") {
      r.Warn(std::string(c.code) + " structured append drawn as one symbol");
    }
    OwnOrientation(r, c);
  }

  static void MaxiCode(R& r, const C& c) {  // ^BD: never turned, see CommitField
    Barcode& b = StartBarcode(r, c, Symbology::kMaxiCode);
    b.interpretation = false;
    if (const auto m = Number(c.Param(0))) b.maxicode_mode = r.Clamped(*m, 2, 6, "^BD mode");
    if (const auto total = Number(c.Param(2)); total && *total > 1) {
      r.Warn("^BD structured append drawn as one symbol");
    }
  }

  // The label and the printer.

  static void Quantity(R& r, const C& c) {  // ^PQ
    if (const auto q = Number(c.Param(0))) r.quantity_ = r.Clamped(*q, 1, kMaxQuantity, "^PQ");
  }

  static void PrintWidth(R& r, const C& c) {  // ^PW
    if (const auto w = Number(c.Param(0))) r.state_.width = r.Clamped(*w, 1, kMaxPosition, "^PW");
  }

  static void LabelLength(R& r, const C& c) {  // ^LL
    if (const auto l = Number(c.Param(0))) r.state_.length = r.Clamped(*l, 1, kMaxPosition, "^LL");
  }

  static void LabelHome(R& r, const C& c) {  // ^LH
    r.state_.home_x = r.Position(c.Param(0), "^LH x").value_or(r.state_.home_x);
    r.state_.home_y = r.Position(c.Param(1), "^LH y").value_or(r.state_.home_y);
  }

  static void PrintOrientation(R& r, const C& c) {  // ^PO
    if (const std::string_view o = c.Param(0); !o.empty()) {
      r.state_.inverted = Upper(o.front()) == 'I';
    }
  }

  static void LabelReverse(R& r, const C& c) {  // ^LR
    if (const auto yes = YesNo(c.Param(0))) r.state_.reverse_all = *yes;
  }

  static void PrintRate(R& r, const C& c) {  // ^PR
    if (const std::string_view speed = c.Param(0); !speed.empty()) r.job_.speed = speed;
  }

  static void Darkness(R& r, const C& c) {  // ~SD
    r.job_.darkness = std::string(Trim(c.params));
    r.state_.darkness = r.job_.darkness;
  }

  static void HostStatus(R&, const C&) {}  // ~HS: answered by the server as soon as it arrives

  // ^CC, ~CC, ^CT, ~CT, ^CD, ~CD: the lexer changed the prefix or the
  // delimiter as it read them.
  static void PrefixChange(R&, const C&) {}

  // Stored formats and objects.

  static void DownloadFormat(R& r, const C& c) {  // ^DF
    if (r.FieldHasContent()) r.CommitField();
    r.storing_ = true;
    r.store_name_ = ObjectName(c.Param(0), ".ZPL");
    r.stored_.clear();
  }

  static void RecallFormat(R& r, const C& c) {  // ^XF
    r.Recall(ObjectName(c.Param(0), ".ZPL"), c.depth);
  }

  static void DeleteObject(R& r, const C& c) {  // ^ID
    const std::string pattern = ObjectName(c.Param(0), ".*");
    std::erase_if(r.state_.formats, [&](const auto& f) { return NameMatches(pattern, f.first); });
    std::erase_if(r.state_.graphics, [&](const auto& g) { return NameMatches(pattern, g.first); });
  }
};

namespace {

using H = CommandHandlers;

// Every command the printer knows. "^A" is ^A with any font name (^A0,
// ^AD, ...); a "^B?" not listed here is kept as an undrawn bar code.
constexpr std::pair<std::string_view, CommandHandler> kCommands[] = {
    {"^XA", H::StartLabel},
    {"^XZ", H::EndLabel},
    {"^FO", H::FieldOrigin},
    {"^FT", H::FieldOrigin},
    {"^FS", H::FieldSeparator},
    {"^FD", H::FieldData},
    {"^FV", H::FieldData},
    {"^FH", H::FieldHex},
    {"^FN", H::FieldNumber},
    {"^FB", H::FieldBlock},
    {"^FR", H::FieldReverse},
    {"^FW", H::FieldOrientationDefault},
    {"^FX", H::Comment},
    {"^A", H::Font},
    {"^A@", H::Font},
    {"^CF", H::FontDefault},
    {"^GS", H::GraphicSymbol},
    {"^CW", H::FontFile},
    {"^CI", H::Charset},
    {"^GB", H::Box},
    {"^GC", H::Circle},
    {"^GE", H::Ellipse},
    {"^GD", H::Diagonal},
    {"^GF", H::GraphicField},
    {"^XG", H::RecallGraphic},
    {"^IM", H::RecallGraphic},
    {"~DG", H::DownloadGraphic},
    {"^EG", H::EraseGraphics},
    {"~EG", H::EraseGraphics},
    {"^BY", H::BarcodeDefaults},
    {"^BC", H::Code128},
    {"^B3", H::Code39},
    {"^BE", H::Ean13},
    {"^B2", H::Interleaved2of5},
    {"^BQ", H::QrCode},
    {"^BX", H::DataMatrix},
    {"^B7", H::Pdf417},
    {"^BO", H::Aztec},
    {"^B0", H::Aztec},
    {"^BD", H::MaxiCode},
    {"^PQ", H::Quantity},
    {"^PW", H::PrintWidth},
    {"^LL", H::LabelLength},
    {"^LH", H::LabelHome},
    {"^PO", H::PrintOrientation},
    {"^LR", H::LabelReverse},
    {"^PR", H::PrintRate},
    {"~SD", H::Darkness},
    {"~HS", H::HostStatus},
    {"^CC", H::PrefixChange},
    {"~CC", H::PrefixChange},
    {"^CT", H::PrefixChange},
    {"~CT", H::PrefixChange},
    {"^CD", H::PrefixChange},
    {"~CD", H::PrefixChange},
    {"^DF", H::DownloadFormat},
    {"^XF", H::RecallFormat},
    {"^ID", H::DeleteObject},
};

}  // namespace

CommandHandler HandlerOf(std::string_view code) {
  static const std::unordered_map<std::string_view, CommandHandler> handlers(std::begin(kCommands),
                                                                             std::end(kCommands));
  const auto it = handlers.find(code);
  return it == handlers.end() ? nullptr : it->second;
}

}  // namespace zplport::printer
