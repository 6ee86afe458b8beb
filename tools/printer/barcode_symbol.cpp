#include "printer/barcode_symbol.h"

#include <zint.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>

#include "printer/aztec_code.h"

namespace zplport::printer {
namespace {

struct SymbolDeleter {
  void operator()(zint_symbol* symbol) const { ZBarcode_Delete(symbol); }
};

std::string Digits(std::string_view data) {
  std::string digits;
  for (const char c : data) {
    if (std::isdigit(static_cast<unsigned char>(c))) digits.push_back(c);
  }
  return digits;
}

// Code 128 in the printer's mode N: a start code (">9" A, ">:" B, ">;" C)
// may open the data, subset B if none does, and ">" codes within it change
// the subset or stand for characters that ^FD cannot carry. The result is
// the characters the symbol holds; libzint picks the subsets itself, so
// only whether subset C is used at all is kept. FNC1 (">8") splits them:
// `fnc1_at` holds where in `characters` each one stood.
struct Code128Data {
  std::string characters;
  bool uses_subset_c = false;
  std::vector<std::size_t> fnc1_at;
};

Code128Data ReadCode128(std::string_view data) {
  Code128Data out;
  char subset = 'B';
  std::size_t i = 0;
  if (data.size() >= 2 && data[0] == '>' && (data[1] == '9' || data[1] == ':' || data[1] == ';')) {
    subset = data[1] == '9' ? 'A' : data[1] == ':' ? 'B' : 'C';
    i = 2;
  }
  while (i < data.size()) {
    const char c = data[i];
    if (c == '>' && i + 1 < data.size()) {
      const char code = data[i + 1];
      i += 2;
      switch (code) {
        case '<':
          out.characters.push_back('^');
          break;
        case '0':
          out.characters.push_back('>');
          break;
        case '=':
          out.characters.push_back(subset == 'A' ? '\x1E' : '~');
          break;
        case '1':
          out.characters.push_back(subset == 'A' ? '\x1F' : '\x7F');
          break;
        case '5':
          subset = 'C';
          break;
        case '6':
          if (subset != 'B') subset = 'B';
          break;
        case '7':
          if (subset != 'A') subset = 'A';
          break;
        case '8':
          out.fnc1_at.push_back(out.characters.size());
          break;
        case '9':
          subset = 'A';
          break;
        case ':':
          subset = 'B';
          break;
        case ';':
          subset = 'C';
          break;
        default:
          break;  // FNC 2, FNC 3, SHIFT: nothing a reader returns
      }
      continue;
    }
    if (subset == 'C') {
      // Digits in pairs; anything else has no place in subset C.
      if (std::isdigit(static_cast<unsigned char>(c))) {
        out.characters.push_back(c);
        out.uses_subset_c = true;
      }
    } else {
      out.characters.push_back(c);
    }
    ++i;
  }
  return out;
}

// The GS1 check digit (mod 10, weights 3 and 1 from the right) of `digits`.
char Mod10(std::string_view digits) {
  int sum = 0;
  int weight = 3;
  for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
    sum += (*it - '0') * weight;
    weight = 4 - weight;
  }
  return static_cast<char>('0' + (10 - sum % 10) % 10);
}

// Elements of GS1 data, each an application identifier and its data, in
// libzint's bracket form. libzint starts the symbol with FNC1 and puts one
// between elements where the identifier's data has no fixed length. The
// identifier is only its digits' first two here, and libzint is not asked
// to check it: the symbol carries the same characters whatever its length.
std::string Gs1Element(std::string_view element) {
  if (element.size() < 2) return "";
  return "[" + std::string(element.substr(0, 2)) + "]" + std::string(element.substr(2));
}

// Mode D (UCC/EAN): application identifiers in parentheses, which the
// symbol leaves out like the spaces; data without them is one element. An
// SSCC (00) or GTIN (01, 02) one digit short gets its check digit.
std::string ReadGs1Data(std::string_view data) {
  std::vector<std::string> elements;
  std::string current;
  bool in_ai = false;
  for (const char c : data) {
    if (c == '(') {
      if (!current.empty()) elements.push_back(current);
      current.clear();
      in_ai = true;
    } else if (c == ')') {
      in_ai = false;
    } else if (c != ' ' && !(in_ai && !std::isdigit(static_cast<unsigned char>(c)))) {
      current.push_back(c);
    }
  }
  if (!current.empty()) elements.push_back(current);
  std::string out;
  for (std::string& element : elements) {
    const bool digits = Digits(element).size() == element.size();
    if (digits && element.size() == 19 && element.starts_with("00")) {
      element.push_back(Mod10(element.substr(2)));
    } else if (digits && element.size() == 15 &&
               (element.starts_with("01") || element.starts_with("02"))) {
      element.push_back(Mod10(element.substr(2)));
    }
    out += Gs1Element(element);
  }
  return out;
}

// Mode U (UCC case): 19 digits, cut or padded with zeros on the right, and
// their check digit, after FNC1: an SSCC.
std::string ReadUccCaseData(std::string_view data) {
  std::string digits = Digits(data);
  digits.resize(19, '0');
  digits.push_back(Mod10(digits));
  return Gs1Element(digits);
}

// Mode N data opened by FNC1 is GS1: its elements lie between the FNC1s.
// "" when some element is too short to name an identifier.
std::string Gs1FromFnc1(const Code128Data& code) {
  std::string out;
  for (std::size_t k = 0; k < code.fnc1_at.size(); ++k) {
    const std::size_t from = code.fnc1_at[k];
    const std::size_t to =
        k + 1 < code.fnc1_at.size() ? code.fnc1_at[k + 1] : code.characters.size();
    if (to == from) continue;
    const std::string element =
        Gs1Element(std::string_view(code.characters).substr(from, to - from));
    if (element.empty()) return "";
    out += element;
  }
  return out;
}

// MaxiCode modes 2 and 3 open with the primary message: a three-digit class
// of service, a three-digit country code and the postal code, nine digits
// (mode 2) or six characters (mode 3). libzint takes it as postal code,
// country, class. False when the data is too short for it.
bool ReadMaxiCodePrimary(std::string_view data, int mode, std::string* primary, std::string* rest) {
  const std::size_t postal = mode == 2 ? 9 : 6;
  if (data.size() < 6 + postal) return false;
  std::string code(data.substr(6, postal));
  while (!code.empty() && code.back() == ' ') code.pop_back();
  *primary = code + std::string(data.substr(3, 3)) + std::string(data.substr(0, 3));
  *rest = std::string(data.substr(6 + postal));
  return true;
}

// QR code field data: "QA,data" (error correction, then A automatic or M
// manual input), where manual input names its mode first: N, A, K, or B
// followed by a four-digit byte count. The printer reads the first three
// characters as those switches and their comma whatever they are; a level
// it does not know is M, as the guide has it for an invalid one, and the
// level stays as asked even where the symbol has room for more. Numeric and
// alphanumeric input hold only their own characters: the others are left
// out, as a printer leaves them out of the symbol.
std::string ReadQrData(std::string_view data, char* level) {
  if (data.size() < 3) return "";
  const char l = static_cast<char>(std::toupper(static_cast<unsigned char>(data[0])));
  const char input = static_cast<char>(std::toupper(static_cast<unsigned char>(data[1])));
  *level = (l == 'H' || l == 'Q' || l == 'M' || l == 'L') ? l : 'M';
  data.remove_prefix(3);
  if (input != 'M' || data.empty()) return std::string(data);
  const char mode = static_cast<char>(std::toupper(static_cast<unsigned char>(data[0])));
  if (mode == 'B' && data.size() >= 5) return std::string(data.substr(5));
  if (mode == 'K') return std::string(data.substr(1));
  if (mode != 'N' && mode != 'A') return std::string(data);
  constexpr std::string_view kAlphanumeric = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ $%*+-./:";
  const std::string_view kept = mode == 'N' ? kAlphanumeric.substr(0, 10) : kAlphanumeric;
  std::string out;
  for (const char c : data.substr(1)) {
    if (kept.find(c) != std::string_view::npos) out.push_back(c);
  }
  return out;
}

// DataMatrix: the escape character followed by "dNNN" is character NNN,
// doubled it is itself.
std::string ReadDataMatrix(std::string_view data, char escape) {
  std::string out;
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (data[i] == escape && i + 1 < data.size()) {
      if (data[i + 1] == escape) {
        out.push_back(escape);
        ++i;
        continue;
      }
      if ((data[i + 1] == 'd' || data[i + 1] == 'D') && i + 4 < data.size() &&
          std::isdigit(static_cast<unsigned char>(data[i + 2])) &&
          std::isdigit(static_cast<unsigned char>(data[i + 3])) &&
          std::isdigit(static_cast<unsigned char>(data[i + 4]))) {
        out.push_back(static_cast<char>(std::stoi(std::string(data.substr(i + 2, 3))) & 0xFF));
        i += 4;
        continue;
      }
    }
    out.push_back(data[i]);
  }
  return out;
}

// libzint's sizes for DataMatrix ECC 200 by rows and columns, 0 if none.
int DataMatrixSize(int rows, int columns) {
  static constexpr int kSizes[][2] = {
      {10, 10}, {12, 12}, {14, 14}, {16, 16}, {18, 18},   {20, 20},   {22, 22},   {24, 24},
      {26, 26}, {32, 32}, {36, 36}, {40, 40}, {44, 44},   {48, 48},   {52, 52},   {64, 64},
      {72, 72}, {80, 80}, {88, 88}, {96, 96}, {104, 104}, {120, 120}, {132, 132}, {144, 144},
      {8, 18},  {8, 32},  {12, 26}, {12, 36}, {16, 36},   {16, 48}};
  for (int i = 0; i < static_cast<int>(std::size(kSizes)); ++i) {
    if (kSizes[i][0] == rows && kSizes[i][1] == columns) return i + 1;
  }
  return 0;
}

}  // namespace

std::optional<BarcodeSymbol> EncodeBarcode(const Barcode& barcode, std::string_view data,
                                           std::string* error) {
  std::unique_ptr<zint_symbol, SymbolDeleter> symbol(ZBarcode_Create());
  if (!symbol) {
    *error = "out of memory";
    return std::nullopt;
  }
  BarcodeSymbol result;
  std::string input;
  symbol->input_mode = DATA_MODE;
  switch (barcode.symbology) {
    case Symbology::kCode128:
      if (barcode.mode == 'D' || barcode.mode == 'U') {
        symbol->symbology = BARCODE_GS1_128;
        symbol->input_mode = GS1_MODE | GS1NOCHECK_MODE;
        input = barcode.mode == 'D' ? ReadGs1Data(data) : ReadUccCaseData(data);
      } else if (barcode.mode == 'A') {
        // Automatic: the data as sent, ">" included, in the subsets that
        // pack it best.
        symbol->symbology = BARCODE_CODE128;
        input = std::string(data);
      } else {
        const Code128Data code = ReadCode128(data);
        if (!code.fnc1_at.empty() && code.fnc1_at.front() == 0) {
          input = Gs1FromFnc1(code);
          if (!input.empty()) {
            symbol->symbology = BARCODE_GS1_128;
            symbol->input_mode = GS1_MODE | GS1NOCHECK_MODE;
            break;
          }
        }
        if (!code.fnc1_at.empty())
          result.warnings.push_back("^BC FNC1 (>8) within the data not encoded");
        // Without subset C the printer keeps to B (or A): as wide as
        // libzint's subset B alone.
        bool control = false;
        for (const char c : code.characters)
          control = control || static_cast<unsigned char>(c) < 32;
        symbol->symbology = (!code.uses_subset_c && !control) ? BARCODE_CODE128B : BARCODE_CODE128;
        input = code.characters;
      }
      break;
    case Symbology::kCode39:
      symbol->symbology = BARCODE_CODE39;
      symbol->option_2 = barcode.check_digit ? 1 : 0;
      result.narrow_wide = true;
      input = std::string(data);
      for (char& c : input) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      break;
    case Symbology::kEan13: {
      symbol->symbology = BARCODE_EANX;
      std::string digits = Digits(data);
      if (digits.size() > 12) digits.resize(12);
      input = std::string(12 - digits.size(), '0') + digits;
      break;
    }
    case Symbology::kInterleaved2of5:
      symbol->symbology = BARCODE_C25INTER;
      symbol->option_2 = barcode.check_digit ? 1 : 0;
      result.narrow_wide = true;
      input = Digits(data);
      break;
    case Symbology::kQrCode: {
      symbol->symbology = BARCODE_QRCODE;
      char level = 'M';  // the data's switch, never ^BQ's
      input = ReadQrData(data, &level);
      symbol->option_1 = level == 'L' ? 1 : level == 'M' ? 2 : level == 'Q' ? 3 : 4;
      break;
    }
    case Symbology::kDataMatrix:
      symbol->symbology = BARCODE_DATAMATRIX;
      symbol->option_3 = barcode.rectangular ? 0 : DM_SQUARE;
      if (barcode.rows > 0 || barcode.columns > 0) {
        symbol->option_2 = DataMatrixSize(barcode.rows, barcode.columns);
        if (symbol->option_2 == 0) {
          result.warnings.push_back("^BX size " + std::to_string(barcode.rows) + "x" +
                                    std::to_string(barcode.columns) + " chosen by the data");
        }
      }
      input = ReadDataMatrix(data, barcode.escape);
      break;
    case Symbology::kAztec:
      if (barcode.aztec_size != 300) return EncodeAztec(data, barcode.aztec_size, error);
      symbol->symbology = BARCODE_AZRUNE;  // a number of 0 to 255
      input = std::string(data);
      break;
    case Symbology::kMaxiCode: {
      symbol->symbology = BARCODE_MAXICODE;
      int mode = barcode.maxicode_mode;
      std::string primary;
      std::string rest;
      if (mode == 2 || mode == 3) {
        if (ReadMaxiCodePrimary(data, mode, &primary, &rest)) {
          std::strncpy(symbol->primary, primary.c_str(), sizeof symbol->primary - 1);
          input = rest;
        } else {
          result.warnings.push_back("^BD mode " + std::to_string(mode) +
                                    " data without its primary message drawn in mode 4");
          mode = 4;
        }
      }
      if (mode != 2 && mode != 3) input = std::string(data);
      symbol->option_1 = mode;
      result.hexagonal = true;
      break;
    }
    case Symbology::kPdf417:
      symbol->symbology = barcode.truncated ? BARCODE_PDF417COMP : BARCODE_PDF417;
      symbol->option_1 = barcode.security;
      if (barcode.columns > 0) symbol->option_2 = barcode.columns;
      if (barcode.rows > 0) symbol->option_3 = barcode.rows;
      input = std::string(data);
      break;
  }
  if (input.empty()) {
    *error = "no data to encode";
    return std::nullopt;
  }
  const int status =
      ZBarcode_Encode(symbol.get(), reinterpret_cast<const unsigned char*>(input.data()),
                      static_cast<int>(input.size()));
  if (status >= ZINT_ERROR) {
    *error = symbol->errtxt[0] != '\0' ? symbol->errtxt : "cannot be encoded";
    return std::nullopt;
  }
  if (status != 0 && symbol->errtxt[0] != '\0') result.warnings.push_back(symbol->errtxt);
  // libzint keeps module c of a row in bit c % 8 of byte c / 8, as its own
  // raster output reads it.
  result.columns = symbol->width;
  result.rows = symbol->rows;
  result.modules.resize(static_cast<std::size_t>(result.columns) * result.rows);
  for (int row = 0; row < result.rows; ++row) {
    for (int column = 0; column < result.columns; ++column) {
      result.modules[static_cast<std::size_t>(row) * result.columns + column] =
          (symbol->encoded_data[row][column >> 3] >> (column & 7)) & 1;
    }
  }
  if (barcode.interpretation) result.text = reinterpret_cast<const char*>(symbol->text);
  return result;
}

}  // namespace zplport::printer
