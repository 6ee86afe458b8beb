#include "printer/zpl_parser.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <utility>

namespace zplport::printer {
namespace {

// Field positions and sizes as a printer accepts them.
constexpr long long kMaxPosition = 32000;
// Larger glyphs would take more memory to draw than any label is worth.
constexpr long long kMaxFontDots = 3000;
constexpr long long kMaxQuantity = 99999999;
// A printer keeps at most this much of one field's data.
constexpr std::size_t kMaxFieldBytes = 3072;
// Parameters are read only this far: enough for any command, and a
// 50 MB "^FD" is not copied whole.
constexpr std::size_t kMaxParamBytes = 4 * kMaxFieldBytes;
// Bounds the lists a hostile job can grow, and the work stored formats can
// make recalling one another.
constexpr std::size_t kMaxNotes = 100;
constexpr int kMaxRecallDepth = 8;
constexpr int kMaxRecallsPerJob = 1000;
constexpr std::size_t kMaxLabelsKept = 100;
constexpr std::size_t kMaxFieldsPerLabel = 2000;
constexpr char32_t kReplacement = 0xFFFD;

void AddOnce(std::vector<std::string>& list, std::string item) {
  if (list.size() >= kMaxNotes) return;
  if (std::find(list.begin(), list.end(), item) == list.end()) list.push_back(std::move(item));
}

char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

std::string UpperText(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = Upper(c);
  return out;
}

bool IsCommandChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  return std::isalnum(u) || c == '@';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::vector<std::string_view> SplitParams(std::string_view params) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = params.find(',', start);
    parts.push_back(Trim(params.substr(start, comma - start)));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return parts;
}

std::string_view Param(const std::vector<std::string_view>& parts, std::size_t index) {
  return index < parts.size() ? parts[index] : std::string_view();
}

// A leading integer, saturated far beyond any accepted value; nullopt when
// the text holds no number.
std::optional<long long> Number(std::string_view text) {
  text = Trim(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || !std::isdigit(static_cast<unsigned char>(text.front()))) return std::nullopt;
  long long value = 0;
  for (const char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) break;
    value = std::min<long long>(value * 10 + (c - '0'), 1'000'000'000'000LL);
  }
  return negative ? -value : value;
}

// "2.5" as tenths: 25.
std::optional<long long> Tenths(std::string_view text) {
  text = Trim(text);
  const auto whole = Number(text);
  if (!whole) return std::nullopt;
  long long tenths = *whole * 10;
  if (const std::size_t dot = text.find('.');
      dot != std::string_view::npos && dot + 1 < text.size() &&
      std::isdigit(static_cast<unsigned char>(text[dot + 1]))) {
    tenths += text[dot + 1] - '0';
  }
  return tenths;
}

std::optional<Orientation> OrientationOf(std::string_view text) {
  if (text.empty()) return std::nullopt;
  switch (Upper(text.front())) {
    case 'N':
      return Orientation::kNormal;
    case 'R':
      return Orientation::kRotated;
    case 'I':
      return Orientation::kInverted;
    case 'B':
      return Orientation::kBottomUp;
    default:
      return std::nullopt;
  }
}

std::optional<bool> YesNo(std::string_view text) {
  if (text.empty()) return std::nullopt;
  if (Upper(text.front()) == 'Y') return true;
  if (Upper(text.front()) == 'N') return false;
  return std::nullopt;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  const char u = Upper(c);
  if (u >= 'A' && u <= 'F') return u - 'A' + 10;
  return -1;
}

// "R:LOGO.GRF" -> "LOGO.GRF": the drive is dropped, the extension added
// when missing, all in upper case.
std::string ObjectName(std::string_view text, std::string_view default_extension) {
  text = Trim(text);
  if (text.size() >= 2 && text[1] == ':') text.remove_prefix(2);
  std::string name = UpperText(text);
  if (name.empty()) name = "UNKNOWN";
  if (name.find('.') == std::string::npos) name += default_extension;
  return name;
}

// ^ID's wildcards: "*" any run, "?" any one character.
bool NameMatches(std::string_view pattern, std::string_view name) {
  if (pattern.empty()) return name.empty();
  if (pattern.front() == '*') {
    for (std::size_t skip = 0; skip <= name.size(); ++skip) {
      if (NameMatches(pattern.substr(1), name.substr(skip))) return true;
    }
    return false;
  }
  if (name.empty()) return false;
  if (pattern.front() != '?' && pattern.front() != name.front()) return false;
  return NameMatches(pattern.substr(1), name.substr(1));
}

std::string WithoutLineEnds(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (c != '\r' && c != '\n') out.push_back(c);
  }
  return out;
}

// The encoding a ^CI number selects; nullptr for numbers with none here.
const char* EncodingOfCharset(long long charset) {
  if (charset >= 0 && charset <= 13) return "cp850";
  switch (charset) {
    case 14:
    case 16:
    case 26:
      return "gbk";  // the multibyte Asian encodings, read as this printer's Chinese
    case 15:
      return "shift_jis";
    case 17:
    case 29:
      return "utf-16be";
    case 27:
      return "cp1252";
    case 28:
      return "utf-8";
    case 30:
      return "utf-16le";
    case 31:
      return "cp1250";
    case 33:
      return "cp1251";
    case 34:
      return "cp1253";
    case 35:
      return "cp1254";
    case 36:
      return "cp1255";
    default:
      return nullptr;
  }
}

class Parser {
 public:
  Parser(PrinterState& state, const ParseOptions& options) : state_(state), options_(options) {}

  ZplJob Run(std::string_view bytes) {
    Feed(bytes, 0);
    if (in_format_) Warn("format cut off before ^XZ: not printed");
    return std::move(job_);
  }

 private:
  enum class FieldKind { kText, kBox, kEllipse, kDiagonal, kGraphic, kBarcode, kUndrawn };

  // A field of the format being read, with what the merge of a recalled
  // format needs to know.
  struct PendingField {
    ZplField field;
    int number = -1;             // ^FN
    bool from_template = false;  // placed by a recalled format
    bool has_data = false;
  };

  void Warn(std::string text) { AddOnce(job_.warnings, std::move(text)); }
  void Unsupported(const std::string& code) { AddOnce(job_.unsupported, code); }

  // The bytes being read, and where the next command prefixes lie: found
  // with memchr, and looked for again only once passed.
  class Source {
   public:
    explicit Source(std::string_view bytes)
        : bytes_(bytes), caret_(Next('^', 0)), tilde_(Next('~', 0)) {}
    std::string_view bytes() const { return bytes_; }
    std::size_t size() const { return bytes_.size(); }
    char operator[](std::size_t i) const { return bytes_[i]; }

    // End of a command's parameters or data: the next command prefix. This
    // holds inside GBK text too: the few characters whose second byte is
    // '^' or '~' reach a printer only through ^FH escapes, as they do here.
    // `from` may only grow from call to call.
    std::size_t DataEnd(std::size_t from) {
      if (from > caret_) caret_ = Next('^', from);
      if (from > tilde_) tilde_ = Next('~', from);
      return std::min(caret_, tilde_);
    }

   private:
    std::size_t Next(char c, std::size_t from) const {
      const std::size_t at = bytes_.find(c, from);
      return at == std::string_view::npos ? bytes_.size() : at;
    }
    std::string_view bytes_;
    std::size_t caret_;
    std::size_t tilde_;
  };

  void Feed(std::string_view bytes, int depth) {
    Source source(bytes);
    std::size_t i = source.DataEnd(0);
    while (i < source.size()) {
      // Text between commands, line ends and garbage are ignored.
      i = source.DataEnd(Command(source, i, depth));
    }
  }

  // Where a command that carries a byte count of binary data ends: ^GF in
  // B or C format after its fourth comma, ~DY in B or C after its fifth.
  static std::size_t BinaryEnd(Source& source, std::size_t params, int commas,
                               std::size_t format_index, std::size_t count_index) {
    const std::size_t limit = source.DataEnd(params);
    std::vector<std::size_t> at;
    for (std::size_t i = params; i < limit && static_cast<int>(at.size()) < commas; ++i) {
      if (source[i] == ',') at.push_back(i);
    }
    if (static_cast<int>(at.size()) < commas) return limit;
    auto field = [&](std::size_t index) {
      const std::size_t from = index == 0 ? params : at[index - 1] + 1;
      return source.bytes().substr(from, at[index] - from);
    };
    const std::string_view format = Trim(field(format_index));
    if (format.empty() || (Upper(format.front()) != 'B' && Upper(format.front()) != 'C')) {
      return limit;
    }
    const auto count = Number(field(count_index));
    const std::size_t data = at.back() + 1;
    if (!count || *count <= 0) return limit;
    return std::min<std::size_t>(source.size(), data + static_cast<std::size_t>(*count));
  }

  // Handles the command at `at` (a prefix); returns where the next begins.
  std::size_t Command(Source& source, std::size_t at, int depth) {
    const char prefix = source[at];
    if (at + 1 >= source.size() ||
        (at + 2 >= source.size() && !(prefix == '^' && Upper(source[at + 1]) == 'A'))) {
      Warn("command cut off at the end of the job");
      return source.size();
    }
    std::string code(1, prefix);
    std::size_t params_start = 0;
    char font = 0;
    if (prefix == '^' && Upper(source[at + 1]) == 'A' &&
        (at + 2 >= source.size() || source[at + 2] != '@')) {
      // ^A takes its font name in place of a second letter: ^A0, ^AD.
      code += 'A';
      if (at + 2 >= source.size()) {
        Warn("command cut off at the end of the job");
        return source.size();
      }
      font = Upper(source[at + 2]);
      if (!IsCommandChar(font)) {
        Warn("^A without a font name ignored");
        return at + 2;
      }
      params_start = at + 3;
    } else {
      const char a = Upper(source[at + 1]);
      const char b = Upper(source[at + 2]);
      if (!IsCommandChar(a) || !IsCommandChar(b)) {
        Warn("bytes that are no command ignored");
        return at + 1;
      }
      code += a;
      code += b;
      params_start = at + 3;
    }

    std::size_t end = source.DataEnd(params_start);
    if (code == "^GF") end = BinaryEnd(source, params_start, 4, 0, 1);
    if (code == "~DY") end = BinaryEnd(source, params_start, 5, 1, 3);
    const std::string_view raw = source.bytes().substr(params_start, end - params_start);

    if (storing_ && prefix == '^' && code != "^XZ" && code != "^XA") {
      Store(source.bytes().substr(at, end - at));
      return end;
    }
    if (prefix == '~') {
      Control(code, raw);
    } else if (code == "^XA") {
      if (in_format_) Warn("^XA inside a format started it over");
      StartFormat();
    } else if (!in_format_) {
      Warn(code + " outside ^XA...^XZ ignored");
    } else if (code == "^XZ") {
      EndFormat();
    } else {
      FormatCommand(code, font, raw, depth);
    }
    return end;
  }

  static std::string Params(std::string_view raw) {
    return WithoutLineEnds(raw.substr(0, std::min(raw.size(), kMaxParamBytes)));
  }

  void Control(const std::string& code, std::string_view raw) {
    const std::string params = Params(raw);
    const std::vector<std::string_view> parts = SplitParams(params);
    if (code == "~SD") {
      job_.darkness = std::string(Trim(params));
      state_.darkness = job_.darkness;
    } else if (code == "~HS") {
      // Answered by the server as soon as it arrives.
    } else if (code == "~DG") {
      const auto total = Number(Param(parts, 1));
      const auto row = Number(Param(parts, 2));
      const std::string name = ObjectName(Param(parts, 0), ".GRF");
      if (!total || !row || *total <= 0 || *row <= 0) {
        Warn("~DG " + name + " without its sizes ignored");
        return;
      }
      auto graphic = std::make_shared<GraphicData>();
      graphic->format = 'A';
      graphic->total_bytes = static_cast<std::size_t>(*total);
      graphic->row_bytes = static_cast<int>(std::min<long long>(*row, kMaxPosition));
      graphic->data = GraphicText(raw, 3, graphic->total_bytes);
      StoreGraphic(name, std::move(graphic));
    } else if (code == "~EG") {
      state_.graphics.clear();
    } else {
      Unsupported(code);
    }
  }

  // The data after the parameters of ^GF (A) or ~DG: everything past the
  // `commas`-th comma, without line ends, and not more than the image can
  // use (hex is two characters a byte; the compressed forms are shorter).
  std::string GraphicText(std::string_view raw, int commas, std::size_t total_bytes) {
    std::size_t from = 0;
    for (int seen = 0; seen < commas; ++seen) {
      const std::size_t comma = raw.find(',', from);
      if (comma == std::string_view::npos) return "";
      from = comma + 1;
    }
    const std::size_t keep = std::min<std::size_t>(4 * total_bytes + 4096, options_.memory);
    std::string data = WithoutLineEnds(raw.substr(from, std::min(raw.size() - from, keep)));
    return data;
  }

  std::size_t StoredBytes() const {
    std::size_t bytes = 0;
    for (const auto& [name, format] : state_.formats) bytes += format.size();
    for (const auto& [name, graphic] : state_.graphics) bytes += graphic->data.size();
    return bytes;
  }

  void StoreGraphic(const std::string& name, std::shared_ptr<const GraphicData> graphic) {
    state_.graphics.erase(name);
    if (StoredBytes() + graphic->data.size() > options_.memory) {
      Warn(name + " not stored: printer memory full");
      return;
    }
    state_.graphics[name] = std::move(graphic);
  }

  void StartFormat() {
    in_format_ = true;
    storing_ = false;
    recalled_ = false;
    fields_.clear();
    format_bytes_ = 0;
    quantity_ = 1;
    ResetField();
  }

  int Clamped(long long value, long long low, long long high, const std::string& what) {
    if (value < low || value > high) {
      const long long clamped = std::clamp(value, low, high);
      Warn(what + " " + std::to_string(value) + " clamped to " + std::to_string(clamped));
      value = clamped;
    }
    return static_cast<int>(value);
  }

  std::optional<int> Position(std::string_view text, const std::string& what) {
    const auto value = Number(text);
    if (!value) return std::nullopt;
    return Clamped(*value, 0, kMaxPosition, what);
  }

  // One size of a font command; 0 and nonsense count as not given.
  int FontDots(std::string_view text, const std::string& what) {
    const auto value = Number(text);
    if (!value) return 0;
    if (*value <= 0) {
      Warn(what + " " + std::to_string(*value) + " ignored");
      return 0;
    }
    return Clamped(*value, 1, kMaxFontDots, what);
  }

  FontSize Sizes(const std::vector<std::string_view>& parts, std::size_t first,
                 const std::string& code) {
    return {FontDots(Param(parts, first), code + " height"),
            FontDots(Param(parts, first + 1), code + " width")};
  }

  int Dots(std::string_view text, int fallback, long long low, const std::string& what) {
    const auto value = Number(text);
    return value ? Clamped(*value, low, kMaxPosition, what) : fallback;
  }

  // A field command (shape, image, bar code) after a shape or image in the
  // same field: that one is kept as a field of its own at the same place.
  void NewFieldKind() {
    if (kind_ != FieldKind::kBox && kind_ != FieldKind::kEllipse && kind_ != FieldKind::kDiagonal &&
        kind_ != FieldKind::kGraphic) {
      return;
    }
    const int x = field_x_, y = field_y_;
    const bool continues_x = continues_x_, continues_y = continues_y_;
    const bool baseline_origin = baseline_origin_;
    CommitField();
    field_x_ = x;
    field_y_ = y;
    continues_x_ = continues_x;
    continues_y_ = continues_y;
    baseline_origin_ = baseline_origin;
  }

  void StartShape(FieldKind kind) {
    NewFieldKind();
    kind_ = kind;
    shape_ = ZplField();
  }

  void Shape(const std::string& code, const std::vector<std::string_view>& parts) {
    if (code == "^GB") {
      StartShape(FieldKind::kBox);
      shape_.thickness = Dots(Param(parts, 2), 1, 1, "^GB thickness");
      shape_.box_width = std::max(shape_.thickness, Dots(Param(parts, 0), 0, 0, "^GB width"));
      shape_.box_height = std::max(shape_.thickness, Dots(Param(parts, 1), 0, 0, "^GB height"));
      shape_.white = Colour(Param(parts, 3));
      const auto r = Number(Param(parts, 4));
      shape_.rounding = r ? Clamped(*r, 0, 8, "^GB rounding") : 0;
    } else if (code == "^GC") {
      StartShape(FieldKind::kEllipse);
      shape_.thickness = Dots(Param(parts, 1), 1, 1, "^GC thickness");
      shape_.box_width = shape_.box_height =
          std::max(3, Dots(Param(parts, 0), 3, 3, "^GC diameter"));
      shape_.white = Colour(Param(parts, 2));
    } else if (code == "^GE") {
      StartShape(FieldKind::kEllipse);
      shape_.thickness = Dots(Param(parts, 2), 1, 1, "^GE thickness");
      shape_.box_width = std::max(3, Dots(Param(parts, 0), shape_.thickness, 3, "^GE width"));
      shape_.box_height = std::max(3, Dots(Param(parts, 1), shape_.thickness, 3, "^GE height"));
      shape_.white = Colour(Param(parts, 3));
    } else {  // ^GD
      StartShape(FieldKind::kDiagonal);
      shape_.thickness = Dots(Param(parts, 2), 1, 1, "^GD thickness");
      shape_.box_width = std::max(3, Dots(Param(parts, 0), shape_.thickness, 3, "^GD width"));
      shape_.box_height = std::max(3, Dots(Param(parts, 1), shape_.thickness, 3, "^GD height"));
      shape_.white = Colour(Param(parts, 3));
      const std::string_view lean = Param(parts, 4);
      shape_.leans_right = lean.empty() || !(Upper(lean.front()) == 'L' || lean.front() == '\\');
    }
    shape_.thickness = std::min({shape_.thickness, shape_.box_width, shape_.box_height});
    if (code == "^GB") shape_.thickness = std::max(shape_.thickness, 1);
  }

  static bool Colour(std::string_view text) { return !text.empty() && Upper(text.front()) == 'W'; }

  void GraphicField(std::string_view raw) {
    const std::string params = Params(raw);
    const std::vector<std::string_view> parts = SplitParams(params);
    const std::string_view format_text = Param(parts, 0);
    const char format = format_text.empty() ? 'A' : Upper(format_text.front());
    const auto binary = Number(Param(parts, 1));
    const auto total = Number(Param(parts, 2));
    const auto row = Number(Param(parts, 3));
    if (!binary || !total || !row || *total <= 0 || *row <= 0 ||
        (format != 'A' && format != 'B' && format != 'C')) {
      Warn("^GF without its format and sizes ignored");
      return;
    }
    NewFieldKind();
    auto graphic = std::make_shared<GraphicData>();
    graphic->format = format;
    graphic->total_bytes = static_cast<std::size_t>(*total);
    graphic->row_bytes = static_cast<int>(std::min<long long>(*row, kMaxPosition));
    if (graphic->total_bytes <= options_.memory) {
      if (format == 'A') {
        graphic->data = GraphicText(raw, 4, graphic->total_bytes);
      } else {
        std::size_t from = 0;
        for (int seen = 0; seen < 4 && from != std::string_view::npos; ++seen) {
          from = raw.find(',', from);
          if (from != std::string_view::npos) ++from;
        }
        if (from != std::string_view::npos) graphic->data = std::string(raw.substr(from));
        if (graphic->data.size() < static_cast<std::size_t>(*binary)) {
          Warn("^GF binary data cut off");
        }
      }
    }
    kind_ = FieldKind::kGraphic;
    graphic_ = std::move(graphic);
    graphic_command_ = "^GF";
    magnify_x_ = magnify_y_ = 1;
  }

  void RecallGraphic(const std::string& code, const std::vector<std::string_view>& parts) {
    const std::string name = ObjectName(Param(parts, 0), ".GRF");
    NewFieldKind();
    kind_ = FieldKind::kGraphic;
    graphic_command_ = code;
    magnify_x_ = magnify_y_ = 1;
    if (code == "^XG") {
      if (const auto mx = Number(Param(parts, 1))) magnify_x_ = Clamped(*mx, 1, 10, "^XG x");
      if (const auto my = Number(Param(parts, 2))) magnify_y_ = Clamped(*my, 1, 10, "^XG y");
    }
    const auto it = state_.graphics.find(name);
    if (it == state_.graphics.end()) {
      Warn(code + " " + name + ": no such graphic");
      graphic_.reset();
    } else {
      graphic_ = it->second;
    }
  }

  void BarcodeCommand(const std::string& code, const std::vector<std::string_view>& parts) {
    NewFieldKind();
    Barcode b;
    b.module_width = state_.module_width;
    b.ratio = state_.ratio;
    b.height = state_.bar_height;
    auto height = [&](std::size_t index) {
      if (const auto h = Number(Param(parts, index)))
        b.height = Clamped(*h, 1, kMaxPosition, code + " height");
    };
    auto flag = [&](std::size_t index, bool& out) {
      if (const auto yes = YesNo(Param(parts, index))) out = *yes;
    };
    if (code == "^BC") {
      b.symbology = Symbology::kCode128;
      height(1);
      flag(2, b.interpretation);
      flag(3, b.interpretation_above);
      if (const std::string_view m = Param(parts, 5); !m.empty()) b.mode = Upper(m.front());
    } else if (code == "^B3") {
      b.symbology = Symbology::kCode39;
      flag(1, b.check_digit);
      height(2);
      flag(3, b.interpretation);
      flag(4, b.interpretation_above);
    } else if (code == "^BE") {
      b.symbology = Symbology::kEan13;
      height(1);
      flag(2, b.interpretation);
      flag(3, b.interpretation_above);
    } else if (code == "^B2") {
      b.symbology = Symbology::kInterleaved2of5;
      height(1);
      flag(2, b.interpretation);
      flag(3, b.interpretation_above);
      flag(4, b.check_digit);
    } else if (code == "^BQ") {
      b.symbology = Symbology::kQrCode;
      b.interpretation = false;
      if (const auto model = Number(Param(parts, 1)); model && *model == 1) {
        Warn("^BQ model 1 drawn as model 2");
      }
      if (const auto m = Number(Param(parts, 2)))
        b.magnification = Clamped(*m, 1, 10, "^BQ magnification");
      const std::string_view level = Param(parts, 3);
      if (!level.empty()) {
        const char l = Upper(level.front());
        b.error_correction = (l == 'H' || l == 'Q' || l == 'M' || l == 'L') ? l : 'M';
      }
    } else if (code == "^BX") {
      b.symbology = Symbology::kDataMatrix;
      b.interpretation = false;
      if (const auto h = Number(Param(parts, 1)); h && *h > 0) {
        b.magnification = Clamped(*h, 1, kMaxPosition, "^BX module");
      }
      if (const auto quality = Number(Param(parts, 2)); quality && *quality != 200) {
        Warn("^BX quality " + std::to_string(*quality) + " drawn as ECC 200");
      }
      if (const auto c = Number(Param(parts, 3))) b.columns = Clamped(*c, 0, 144, "^BX columns");
      if (const auto r = Number(Param(parts, 4))) b.rows = Clamped(*r, 0, 144, "^BX rows");
      if (const std::string_view g = Param(parts, 6); !g.empty()) b.escape = g.front();
      if (const auto a = Number(Param(parts, 7))) b.rectangular = *a == 2;
    } else {  // ^B7
      b.symbology = Symbology::kPdf417;
      b.interpretation = false;
      height(1);
      if (const auto s = Number(Param(parts, 2))) b.security = Clamped(*s, 0, 8, "^B7 security");
      if (const auto c = Number(Param(parts, 3))) b.columns = Clamped(*c, 1, 30, "^B7 columns");
      if (const auto r = Number(Param(parts, 4))) b.rows = Clamped(*r, 3, 90, "^B7 rows");
      flag(5, b.truncated);
    }
    kind_ = FieldKind::kBarcode;
    barcode_ = b;
    barcode_command_ = code;
    if (code != "^BQ") field_orientation_ = OrientationOf(Param(parts, 0));
  }

  void FormatCommand(const std::string& code, char font, std::string_view raw, int depth) {
    if (code == "^FD" || code == "^FV") {
      // Only as much as the printer keeps, plus room for ^FH escapes.
      const std::string_view kept = raw.substr(0, std::min(raw.size(), kMaxParamBytes));
      if (raw.size() > kMaxParamBytes)
        Warn("field data cut to " + std::to_string(kMaxFieldBytes) + " bytes");
      std::string piece = WithoutLineEnds(kept);
      if (!data_) data_.emplace();
      data_->append(piece, 0, kMaxParamBytes - std::min(kMaxParamBytes, data_->size()));
      return;
    }
    if (code == "^GF") {
      GraphicField(raw);
      return;
    }
    const std::string params = Params(raw);
    const std::vector<std::string_view> parts = SplitParams(params);
    if (code == "^FO" || code == "^FT") {
      if (FieldHasContent()) {
        Warn("field not ended by ^FS");
        CommitField();
      }
      const auto x = Position(Param(parts, 0), code + " x");
      const auto y = Position(Param(parts, 1), code + " y");
      field_x_ = x.value_or(0);
      field_y_ = y.value_or(0);
      baseline_origin_ = code == "^FT";
      continues_x_ = baseline_origin_ && !x;
      continues_y_ = baseline_origin_ && !y;
    } else if (code == "^FS") {
      CommitField();
    } else if (code == "^A") {
      field_font_ = font;
      field_orientation_ = OrientationOf(Param(parts, 0));
      field_size_ = Sizes(parts, 1, std::string("^A") + font);
    } else if (code == "^A@") {
      field_font_ = '@';
      field_orientation_ = OrientationOf(Param(parts, 0));
      field_size_ = Sizes(parts, 1, "^A@");
    } else if (code == "^CF") {
      const std::string_view name = Param(parts, 0);
      if (!name.empty()) state_.font = Upper(name.front());
      const FontSize size = Sizes(parts, 1, "^CF");
      if (size.height > 0 || size.width > 0) state_.font_size = size;
    } else if (code == "^CW") {
      const std::string_view name = Param(parts, 0);
      if (!name.empty()) state_.font_files.insert(Upper(name.front()));
    } else if (code == "^FW") {
      if (const auto o = OrientationOf(Param(parts, 0))) state_.orientation = *o;
    } else if (code == "^FH") {
      hex_indicator_ = params.empty() ? '_' : params.front();
    } else if (code == "^FN") {
      if (const auto n = Number(Param(parts, 0))) field_number_ = Clamped(*n, 0, 9999, "^FN");
    } else if (code == "^FB") {
      TextBlock block;
      if (const auto w = Number(Param(parts, 0)))
        block.width = Clamped(*w, 0, kMaxPosition, "^FB width");
      if (const auto l = Number(Param(parts, 1)))
        block.max_lines = Clamped(*l, 1, 9999, "^FB lines");
      if (const auto s = Number(Param(parts, 2))) {
        block.line_spacing = Clamped(*s, -9999, 9999, "^FB line spacing");
      }
      if (const std::string_view j = Param(parts, 3); !j.empty()) {
        const char u = Upper(j.front());
        if (u == 'L' || u == 'C' || u == 'R' || u == 'J') block.justification = u;
      }
      if (const auto h = Number(Param(parts, 4))) {
        block.hanging_indent = Clamped(*h, 0, 9999, "^FB hanging indent");
      }
      block_ = block;
    } else if (code == "^GB" || code == "^GC" || code == "^GD" || code == "^GE") {
      Shape(code, parts);
    } else if (code == "^XG" || code == "^IM") {
      RecallGraphic(code, parts);
    } else if (code == "^BC" || code == "^B3" || code == "^BE" || code == "^B2" || code == "^BQ" ||
               code == "^BX" || code == "^B7") {
      BarcodeCommand(code, parts);
    } else if (code == "^BY") {
      if (const auto w = Number(Param(parts, 0)))
        state_.module_width = Clamped(*w, 1, 10, "^BY width");
      if (const auto r = Tenths(Param(parts, 1))) {
        state_.ratio = static_cast<double>(Clamped(*r, 20, 30, "^BY ratio (tenths)")) / 10.0;
      }
      if (const auto h = Number(Param(parts, 2))) {
        state_.bar_height = Clamped(*h, 1, kMaxPosition, "^BY height");
      }
    } else if (code == "^FR") {
      reverse_ = true;
    } else if (code == "^PQ") {
      if (const auto q = Number(Param(parts, 0))) quantity_ = Clamped(*q, 1, kMaxQuantity, "^PQ");
    } else if (code == "^PW") {
      if (const auto w = Number(Param(parts, 0)))
        state_.width = Clamped(*w, 1, kMaxPosition, "^PW");
    } else if (code == "^LL") {
      if (const auto l = Number(Param(parts, 0)))
        state_.length = Clamped(*l, 1, kMaxPosition, "^LL");
    } else if (code == "^LH") {
      state_.home_x = Position(Param(parts, 0), "^LH x").value_or(state_.home_x);
      state_.home_y = Position(Param(parts, 1), "^LH y").value_or(state_.home_y);
    } else if (code == "^PO") {
      if (const std::string_view o = Param(parts, 0); !o.empty())
        state_.inverted = Upper(o.front()) == 'I';
    } else if (code == "^LR") {
      if (const auto yes = YesNo(Param(parts, 0))) state_.reverse_all = *yes;
    } else if (code == "^PR") {
      if (const std::string_view speed = Param(parts, 0); !speed.empty()) job_.speed = speed;
    } else if (code == "^CI") {
      Charset(parts);
    } else if (code == "^DF") {
      if (FieldHasContent()) CommitField();
      storing_ = true;
      store_name_ = ObjectName(Param(parts, 0), ".ZPL");
      stored_.clear();
    } else if (code == "^XF") {
      Recall(ObjectName(Param(parts, 0), ".ZPL"), depth);
    } else if (code == "^ID") {
      const std::string pattern = ObjectName(Param(parts, 0), ".*");
      std::erase_if(state_.formats, [&](const auto& f) { return NameMatches(pattern, f.first); });
      std::erase_if(state_.graphics, [&](const auto& g) { return NameMatches(pattern, g.first); });
    } else if (code == "^EG") {
      state_.graphics.clear();
    } else if (code == "^FX") {
      // A comment.
    } else if (code.size() == 3 && code[1] == 'B' && code != "^BY") {
      Unsupported(code);  // another bar code: kept as a field, not drawn
      NewFieldKind();
      kind_ = FieldKind::kUndrawn;
      barcode_command_ = code;
    } else {
      Unsupported(code);
    }
  }

  void Charset(const std::vector<std::string_view>& parts) {
    const std::string_view set = Param(parts, 0);
    if (set.empty()) return;
    job_.charset = std::string(set);
    const auto number = Number(set);
    if (!number || EncodingOfCharset(*number) == nullptr) {
      Warn("^CI" + std::string(set) + " not known: text read as before");
      return;
    }
    state_.charset = std::to_string(*number);
    if (*number <= 12)
      Warn("^CI" + state_.charset + " read as code page 850, without its national characters");
    if (parts.size() > 1) Warn("^CI character remapping ignored");
  }

  const char* Encoding() const {
    if (state_.charset.empty()) return options_.encoding.c_str();
    return EncodingOfCharset(*Number(state_.charset));
  }

  void Store(std::string_view command) {
    if (StoredBytes() + stored_.size() + command.size() > options_.memory) {
      Warn(store_name_ + " not stored: printer memory full");
      storing_overflowed_ = true;
      return;
    }
    stored_.append(command);
  }

  void Recall(const std::string& name, int depth) {
    if (FieldHasContent()) CommitField();
    recalled_ = true;
    const auto it = state_.formats.find(name);
    if (it == state_.formats.end()) {
      Warn("^XF " + name + ": no such format");
      return;
    }
    if (depth >= kMaxRecallDepth || recalls_ >= kMaxRecallsPerJob) {
      Warn("^XF " + name + " recalled too often: not printed");
      return;
    }
    ++recalls_;
    // A copy: the format may delete or replace itself while it is read.
    const std::string format = it->second;
    ++template_depth_;
    Feed(format, depth + 1);
    // A stored format's last field may lack its ^FS.
    if (template_depth_ == 1 && FieldHasContent()) CommitField();
    --template_depth_;
  }

  bool FieldHasContent() const {
    return kind_ == FieldKind::kBox || kind_ == FieldKind::kEllipse ||
           kind_ == FieldKind::kDiagonal || kind_ == FieldKind::kGraphic || data_.has_value() ||
           field_number_ >= 0;
  }

  std::string ApplyHexEscapes(const std::string& data) const {
    std::string out;
    for (std::size_t i = 0; i < data.size() && out.size() < kMaxFieldBytes; ++i) {
      if (hex_indicator_ && data[i] == *hex_indicator_ && i + 2 < data.size() &&
          HexValue(data[i + 1]) >= 0 && HexValue(data[i + 2]) >= 0) {
        out.push_back(static_cast<char>(HexValue(data[i + 1]) * 16 + HexValue(data[i + 2])));
        i += 2;
      } else {
        out.push_back(data[i]);
      }
    }
    return out;
  }

  void SetFont(ZplField& field) const {
    char font = field_font_.value_or(state_.font);
    const FontSize asked = field_font_ && (field_size_.height > 0 || field_size_.width > 0)
                               ? field_size_
                               : state_.font_size;
    const auto matrix =
        state_.font_files.count(font) != 0 ? std::nullopt : BitmapFontMatrix(font, options_.dpi);
    if (matrix) {
      auto magnification = [](int asked_dots, int base) {
        if (asked_dots <= 0) return 0;
        return std::clamp(static_cast<int>(std::lround(static_cast<double>(asked_dots) / base)), 1,
                          10);
      };
      int mh = magnification(asked.height, matrix->height);
      int mw = magnification(asked.width, matrix->width);
      if (mh == 0) mh = mw;
      if (mw == 0) mw = mh;
      if (mh == 0) mh = mw = 1;
      field.font = font;
      field.font_height = matrix->height * mh;
      field.font_width = matrix->width * mw;
      field.baseline = matrix->baseline * mh;
      field.advance = (matrix->width + matrix->gap) * mw;
      return;
    }
    int height = asked.height > 0 ? asked.height : asked.width;
    int width = asked.width > 0 ? asked.width : asked.height;
    if (height <= 0) height = width = 9;
    field.font = font;
    field.font_height = height;
    field.font_width = width;
    // A scalable font's baseline lies 3/4 down its cell.
    field.baseline = static_cast<int>(std::lround(height * 0.75));
    field.advance = 0;
  }

  void CommitField() {
    const bool has_data = data_.has_value();
    const bool text_like =
        kind_ == FieldKind::kText || kind_ == FieldKind::kBarcode || kind_ == FieldKind::kUndrawn;
    if (text_like && !has_data && field_number_ < 0) {
      ResetField();
      return;
    }
    PendingField pending;
    pending.number = field_number_;
    pending.from_template = template_depth_ > 0;
    pending.has_data = has_data || !text_like;
    ZplField& field = pending.field;
    field.x = state_.home_x + field_x_;
    field.y = state_.home_y + field_y_;
    field.continues_x = continues_x_;
    field.continues_y = continues_y_;
    field.baseline_origin = baseline_origin_;
    field.reverse = reverse_ || state_.reverse_all;
    field.orientation = field_orientation_.value_or(state_.orientation);
    if (has_data) {
      field.data = ApplyHexEscapes(*data_);
      if (field.data.size() >= kMaxFieldBytes) {
        Warn("field data cut to " + std::to_string(kMaxFieldBytes) + " bytes");
      }
      field.text = DecodeText(field.data, Encoding());
    }
    switch (kind_) {
      case FieldKind::kText:
        field.kind = ZplField::Kind::kText;
        SetFont(field);
        if (field.font == '@') {
          Warn("^A@ font drawn as font 0");
        } else if (!BitmapFontMatrix(field.font, options_.dpi) && field.font != '0' &&
                   state_.font_files.count(field.font) == 0) {
          Warn(std::string("font ") + field.font + " drawn as font 0");
        }
        field.block = block_;
        break;
      case FieldKind::kBox:
      case FieldKind::kEllipse:
      case FieldKind::kDiagonal: {
        const ZplField& shape = shape_;
        field.kind = kind_ == FieldKind::kBox       ? ZplField::Kind::kBox
                     : kind_ == FieldKind::kEllipse ? ZplField::Kind::kEllipse
                                                    : ZplField::Kind::kDiagonal;
        field.box_width = shape.box_width;
        field.box_height = shape.box_height;
        field.thickness = shape.thickness;
        field.white = shape.white;
        field.rounding = shape.rounding;
        field.leans_right = shape.leans_right;
        break;
      }
      case FieldKind::kGraphic:
        field.kind = ZplField::Kind::kGraphic;
        field.command = graphic_command_;
        field.graphic = graphic_;
        field.magnify_x = magnify_x_;
        field.magnify_y = magnify_y_;
        break;
      case FieldKind::kBarcode:
        field.kind = ZplField::Kind::kBarcode;
        field.command = barcode_command_;
        field.barcode = barcode_;
        if (barcode_.symbology == Symbology::kQrCode) {
          field.orientation = Orientation::kNormal;
          if (field.barcode.magnification == 0) {
            field.barcode.magnification = options_.dpi >= 600 ? 6 : options_.dpi >= 300 ? 3 : 2;
          }
        }
        break;
      case FieldKind::kUndrawn:
        field.kind = ZplField::Kind::kUndrawn;
        field.command = barcode_command_;
        break;
    }
    Keep(std::move(pending));
    ResetField();
  }

  // Keeps a field for drawing while the job stays within its memory; past
  // that, fields still count but are not kept.
  void Keep(PendingField pending) {
    const std::size_t cost = sizeof(PendingField) + pending.field.data.size() +
                             pending.field.text.size() * sizeof(char32_t);
    if (!fields_.empty() && (fields_.size() >= kMaxFieldsPerLabel ||
                             kept_bytes_ + format_bytes_ + cost > options_.memory / 2)) {
      Warn("label with too many fields: the rest not printed");
      return;
    }
    format_bytes_ += cost;
    fields_.push_back(std::move(pending));
  }

  void ResetField() {
    field_x_ = field_y_ = 0;
    continues_x_ = continues_y_ = false;
    baseline_origin_ = false;
    reverse_ = false;
    kind_ = FieldKind::kText;
    data_.reset();
    field_font_.reset();
    field_size_ = {};
    field_orientation_.reset();
    block_.reset();
    hex_indicator_.reset();
    field_number_ = -1;
    graphic_.reset();
  }

  // A recalled format's ^FN fields take the data that the recalling format
  // gives the same numbers; those givers print nothing themselves.
  std::vector<ZplField> MergedFields() {
    std::map<int, const PendingField*> given;
    if (recalled_) {
      for (const PendingField& pending : fields_) {
        if (!pending.from_template && pending.number >= 0 && pending.has_data) {
          given[pending.number] = &pending;
        }
      }
    }
    std::vector<ZplField> merged;
    for (PendingField& pending : fields_) {
      if (recalled_ && !pending.from_template && pending.number >= 0) continue;
      if (pending.number >= 0) {
        if (const auto it = given.find(pending.number); it != given.end()) {
          pending.field.data = it->second->field.data;
          pending.field.text = it->second->field.text;
          pending.has_data = true;
        }
      }
      if (pending.has_data) merged.push_back(std::move(pending.field));
    }
    return merged;
  }

  void EndFormat() {
    if (FieldHasContent()) {
      Warn("field not ended by ^FS");
      CommitField();
    }
    ResetField();
    in_format_ = false;
    ++job_.formats;
    if (storing_) {
      storing_ = false;
      if (!storing_overflowed_) state_.formats[store_name_] = std::move(stored_);
      storing_overflowed_ = false;
      stored_.clear();
      fields_.clear();
      format_bytes_ = 0;
      return;
    }
    std::vector<ZplField> fields = MergedFields();
    fields_.clear();
    const std::size_t format_bytes = std::exchange(format_bytes_, 0);
    if (fields.empty()) return;
    ++job_.label_count;
    job_.copies.push_back(quantity_);
    if (job_.labels.size() >= kMaxLabelsKept) return;
    kept_bytes_ += format_bytes;
    ZplLabel label;
    label.width = state_.width;
    label.length = state_.length;
    label.quantity = quantity_;
    label.inverted = state_.inverted;
    label.fields = std::move(fields);
    job_.labels.push_back(std::move(label));
  }

  PrinterState& state_;
  const ParseOptions& options_;
  ZplJob job_;
  bool in_format_ = false;
  std::vector<PendingField> fields_;
  std::size_t kept_bytes_ = 0;    // fields of the labels kept so far
  std::size_t format_bytes_ = 0;  // fields of the format being read
  long quantity_ = 1;

  // ^DF ... ^XZ: the format is kept, not printed.
  bool storing_ = false;
  bool storing_overflowed_ = false;
  std::string store_name_;
  std::string stored_;
  // ^XF: fields placed while a stored format is read come from it.
  bool recalled_ = false;
  int template_depth_ = 0;
  int recalls_ = 0;

  // The field being built, from its first command to ^FS.
  int field_x_ = 0;
  int field_y_ = 0;
  bool continues_x_ = false;
  bool continues_y_ = false;
  bool baseline_origin_ = false;
  bool reverse_ = false;
  FieldKind kind_ = FieldKind::kText;
  std::optional<std::string> data_;
  std::optional<char> field_font_;
  FontSize field_size_;
  std::optional<Orientation> field_orientation_;
  std::optional<TextBlock> block_;
  std::optional<char> hex_indicator_;
  int field_number_ = -1;
  ZplField shape_;
  std::shared_ptr<const GraphicData> graphic_;
  std::string graphic_command_;
  int magnify_x_ = 1;
  int magnify_y_ = 1;
  Barcode barcode_;
  std::string barcode_command_;
};

// One character through iconv; false when it does not convert.
bool ConvertOne(iconv_t converter, const char* in, std::size_t length, char32_t* out) {
  char buffer[8];
  std::copy(in, in + length, buffer);
  unsigned char result[8] = {};
  char* in_ptr = buffer;
  char* out_ptr = reinterpret_cast<char*>(result);
  std::size_t in_left = length;
  std::size_t out_left = sizeof result;
  iconv(converter, nullptr, nullptr, nullptr, nullptr);
  if (iconv(converter, &in_ptr, &in_left, &out_ptr, &out_left) == static_cast<std::size_t>(-1) ||
      in_left != 0 || out_left != 4) {
    return false;
  }
  *out = static_cast<char32_t>(result[0] | (result[1] << 8) | (result[2] << 16) |
                               (static_cast<std::uint32_t>(result[3]) << 24));
  return true;
}

// A single-byte code page's 256 characters, read once from iconv.
const std::array<char32_t, 256>& SingleByteTable(const char* iconv_name) {
  static std::mutex mutex;
  static std::map<std::string, std::array<char32_t, 256>> tables;
  std::lock_guard lock(mutex);
  auto [it, added] = tables.try_emplace(iconv_name);
  if (added) {
    iconv_t converter = iconv_open("UTF-32LE", iconv_name);
    for (int byte = 0; byte < 256; ++byte) {
      const char c = static_cast<char>(byte);
      char32_t out = byte < 0x80 ? static_cast<char32_t>(byte) : kReplacement;
      if (converter != reinterpret_cast<iconv_t>(-1)) ConvertOne(converter, &c, 1, &out);
      it->second[static_cast<std::size_t>(byte)] = out;
    }
    if (converter != reinterpret_cast<iconv_t>(-1)) iconv_close(converter);
  }
  return it->second;
}

// ASCII-transparent multibyte encodings (GBK, Shift-JIS): one or two bytes
// a character, each tried on its own so that a bad one costs only itself.
std::u32string DecodeMultibyte(std::string_view bytes, const char* iconv_name) {
  std::u32string text;
  text.reserve(bytes.size());
  iconv_t converter = iconv_open("UTF-32LE", iconv_name);
  const bool usable = converter != reinterpret_cast<iconv_t>(-1);
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    char32_t out = 0;
    if (c < 0x80) {
      text.push_back(c);
      ++i;
    } else if (usable && i + 1 < bytes.size() && ConvertOne(converter, bytes.data() + i, 2, &out)) {
      text.push_back(out);
      i += 2;
    } else if (usable && ConvertOne(converter, bytes.data() + i, 1, &out)) {
      text.push_back(out);
      ++i;
    } else {
      text.push_back(kReplacement);
      ++i;
    }
  }
  if (usable) iconv_close(converter);
  return text;
}

std::u32string DecodeUtf16(std::string_view bytes, bool big_endian) {
  std::u32string text;
  std::size_t i = 0;
  auto unit = [&](std::size_t at) {
    const auto a = static_cast<unsigned char>(bytes[at]);
    const auto b = static_cast<unsigned char>(bytes[at + 1]);
    return static_cast<char32_t>(big_endian ? (a << 8 | b) : (b << 8 | a));
  };
  while (i + 1 < bytes.size()) {
    const char32_t first = unit(i);
    i += 2;
    if (first >= 0xD800 && first <= 0xDBFF && i + 1 < bytes.size()) {
      const char32_t second = unit(i);
      if (second >= 0xDC00 && second <= 0xDFFF) {
        text.push_back(0x10000 + ((first - 0xD800) << 10) + (second - 0xDC00));
        i += 2;
        continue;
      }
    }
    text.push_back(first >= 0xD800 && first <= 0xDFFF ? kReplacement : first);
  }
  if (i < bytes.size()) text.push_back(kReplacement);
  return text;
}

}  // namespace

ZplJob ParseZpl(std::string_view bytes, PrinterState& state, const ParseOptions& options) {
  return Parser(state, options).Run(bytes);
}

ZplJob ParseZpl(std::string_view bytes) {
  PrinterState state;
  const ParseOptions options;
  return ParseZpl(bytes, state, options);
}

LabelCount CountLabels(std::string_view zpl) {
  const ZplJob job = ParseZpl(zpl);
  return {job.label_count, job.formats};
}

std::optional<FontMatrix> BitmapFontMatrix(char font, int dpi) {
  // The bitmap fonts keep their dots at every resolution, except the OCR
  // fonts E and H, which keep their size on paper.
  const bool fine = dpi >= 300;
  const bool finest = dpi >= 600;
  switch (Upper(font)) {
    case 'A':
      return FontMatrix{9, 5, 1, 7, false};
    case 'B':
      return FontMatrix{11, 7, 2, 11, true};
    case 'C':
    case 'D':
      return FontMatrix{18, 10, 2, 14, false};
    case 'E':
      if (finest) return FontMatrix{84, 40, 20, 69, false};
      if (fine) return FontMatrix{42, 20, 10, 35, false};
      return FontMatrix{28, 15, 5, 23, false};
    case 'F':
      return FontMatrix{26, 13, 3, 21, false};
    case 'G':
      return FontMatrix{60, 40, 8, 48, false};
    case 'H':
      if (finest) return FontMatrix{68, 44, 16, 68, true};
      if (fine) return FontMatrix{34, 22, 8, 34, true};
      return FontMatrix{21, 13, 6, 21, true};
    default:
      return std::nullopt;
  }
}

const std::vector<std::string>& KnownEncodings() {
  static const std::vector<std::string> names = {"gbk",    "utf-8",     "cp1252",   "cp850",
                                                 "cp1250", "cp1251",    "cp1253",   "cp1254",
                                                 "cp1255", "shift_jis", "utf-16be", "utf-16le"};
  return names;
}

std::u32string DecodeText(std::string_view bytes, std::string_view encoding) {
  const std::string name = [&] {
    std::string lower(encoding);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
  }();
  if (name == "gbk" || name == "cp936") return DecodeGbk(bytes);
  if (name == "utf-8" || name == "utf8") return DecodeUtf8(bytes);
  if (name == "utf-16be") return DecodeUtf16(bytes, true);
  if (name == "utf-16le") return DecodeUtf16(bytes, false);
  if (name == "shift_jis") return DecodeMultibyte(bytes, "SHIFT_JIS");
  if (name.starts_with("cp") && name.size() <= 6) {
    const std::string iconv_name = "CP" + name.substr(2);
    const auto& table = SingleByteTable(iconv_name.c_str());
    std::u32string text;
    text.reserve(bytes.size());
    for (const char c : bytes) text.push_back(table[static_cast<unsigned char>(c)]);
    return text;
  }
  return DecodeGbk(bytes);
}

std::u32string DecodeGbk(std::string_view bytes) { return DecodeMultibyte(bytes, "GBK"); }

std::u32string DecodeUtf8(std::string_view bytes) {
  std::u32string text;
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    int extra = 0;
    char32_t cp = 0;
    if (c < 0x80) {
      cp = c;
    } else if (c >= 0xC2 && c <= 0xDF) {
      extra = 1;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2;
      cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3;
      cp = c & 0x07;
    } else {
      text.push_back(kReplacement);
      ++i;
      continue;
    }
    bool ok = i + static_cast<std::size_t>(extra) < bytes.size();
    for (int k = 1; ok && k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + static_cast<std::size_t>(k)]);
      if ((next & 0xC0) != 0x80)
        ok = false;
      else
        cp = (cp << 6) | (next & 0x3F);
    }
    const char32_t minimum[] = {0, 0x80, 0x800, 0x10000};
    if (!ok || cp < minimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      text.push_back(kReplacement);
      ++i;
      continue;
    }
    text.push_back(cp);
    i += static_cast<std::size_t>(extra) + 1;
  }
  return text;
}

}  // namespace zplport::printer
