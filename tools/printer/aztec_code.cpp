#include "printer/aztec_code.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace zplport::printer {
namespace {

using Bits = std::vector<std::uint8_t>;  // one bit each, first bit first

void Put(Bits& bits, unsigned value, int count) {
  for (int i = count - 1; i >= 0; --i) bits.push_back(static_cast<std::uint8_t>((value >> i) & 1));
}

// The five character modes, and the binary shift that any of them but
// punctuation and digits can open.
enum Mode { kUpper, kLower, kMixed, kPunct, kDigit };

int Width(Mode mode) { return mode == kDigit ? 4 : 5; }

// A character's code in a mode, -1 when the mode has none for it.
int CodeIn(Mode mode, unsigned char c) {
  static constexpr std::string_view kPunctuation = "!\"#$%&'()*+,-./:;<=>?[]{}";
  static constexpr std::string_view kMixedMarks = "@\\^_`|~\x7F";
  switch (mode) {
    case kUpper:
      return c == ' ' ? 1 : c >= 'A' && c <= 'Z' ? c - 'A' + 2 : -1;
    case kLower:
      return c == ' ' ? 1 : c >= 'a' && c <= 'z' ? c - 'a' + 2 : -1;
    case kMixed:
      if (c == ' ') return 1;
      if (c >= 1 && c <= 13) return c + 1;
      if (c >= 27 && c <= 31) return c - 27 + 15;
      if (const auto at = kMixedMarks.find(static_cast<char>(c)); at != std::string_view::npos) {
        return static_cast<int>(at) + 20;
      }
      return -1;
    case kPunct:
      if (c == '\r') return 1;
      if (const auto at = kPunctuation.find(static_cast<char>(c)); at != std::string_view::npos) {
        return static_cast<int>(at) + 6;
      }
      return -1;
    case kDigit:
      return c == ' ' ? 1 : c >= '0' && c <= '9' ? c - '0' + 2 : c == ',' ? 12 : c == '.' ? 13 : -1;
  }
  return -1;
}

// CR LF, ". ", ", " and ": " are one punctuation code each.
int PairCode(unsigned char first, unsigned char second) {
  if (first == '\r' && second == '\n') return 2;
  if (second != ' ') return -1;
  return first == '.' ? 3 : first == ',' ? 4 : first == ':' ? 5 : -1;
}

// The mode a character is taken to when the current one lacks it; -1 for
// the bytes that only a binary shift carries. Space is in every mode but
// punctuation, so it is only ever looked for from there.
int ModeFor(unsigned char c) {
  for (const Mode mode : {kUpper, kLower, kDigit, kPunct, kMixed}) {
    if (CodeIn(mode, c) >= 0) return mode;
  }
  return -1;
}

// Where a latch from one mode towards another goes first. Punctuation and
// digits latch only to upper case, and only mixed to punctuation; lower to
// upper case goes through mixed, as the usual previews draw it, though
// through digits would be a bit shorter.
Mode NextMode(Mode from, Mode to) {
  if (from == kPunct || from == kDigit) return kUpper;
  if (to == kPunct && from != kMixed) return kMixed;
  if (from == kLower && to == kUpper) return kMixed;
  if (from == kMixed && to == kDigit) return kUpper;
  return to;
}

int LatchCode(Mode from, Mode to) {
  switch (from) {
    case kUpper:
      return to == kLower ? 28 : to == kMixed ? 29 : 30;
    case kLower:
      return to == kMixed ? 29 : 30;
    case kMixed:
      return to == kLower ? 28 : to == kUpper ? 29 : 30;
    case kPunct:
      return 31;
    case kDigit:
      return 14;
  }
  return 0;
}

void LatchTo(Bits& bits, Mode& mode, Mode to) {
  while (mode != to) {
    const Mode next = NextMode(mode, to);
    Put(bits, static_cast<unsigned>(LatchCode(mode, next)), Width(mode));
    mode = next;
  }
}

// The data as a bit stream, one character at a time: a character the
// current mode holds is written in it; a lone upper-case letter in lower
// case or digits, and one or two punctuation marks, are shifted to; other
// runs latch; bytes no mode holds go in binary shifts.
Bits HighLevel(std::string_view data) {
  Bits bits;
  Mode mode = kUpper;
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(data[i]); };
  std::size_t i = 0;
  while (i < data.size()) {
    const unsigned char c = at(i);
    const int pair = i + 1 < data.size() ? PairCode(c, at(i + 1)) : -1;
    if (pair >= 0 && (CodeIn(mode, c) < 0 || CodeIn(mode, at(i + 1)) < 0)) {
      if (mode != kPunct) Put(bits, 0, Width(mode));  // P/S
      Put(bits, static_cast<unsigned>(pair), 5);
      i += 2;
      continue;
    }
    if (const int code = CodeIn(mode, c); code >= 0) {
      Put(bits, static_cast<unsigned>(code), Width(mode));
      ++i;
      continue;
    }
    const int target = ModeFor(c);
    if (target < 0) {
      if (mode == kPunct || mode == kDigit) LatchTo(bits, mode, kUpper);
      std::size_t end = i;
      while (end < data.size() && end - i < 2078 && ModeFor(at(end)) < 0) ++end;
      const std::size_t count = end - i;
      Put(bits, 31, 5);  // B/S
      if (count <= 31) {
        Put(bits, static_cast<unsigned>(count), 5);
      } else {
        Put(bits, 0, 5);
        Put(bits, static_cast<unsigned>(count - 31), 11);
      }
      for (; i < end; ++i) Put(bits, at(i), 8);
      continue;
    }
    std::size_t run = 1;
    while (i + run < data.size() && CodeIn(static_cast<Mode>(target), at(i + run)) >= 0) ++run;
    if (target == kPunct && run <= 2) {
      Put(bits, 0, Width(mode));  // P/S
      Put(bits, static_cast<unsigned>(CodeIn(kPunct, c)), 5);
      ++i;
    } else if (target == kUpper && run == 1 && (mode == kLower || mode == kDigit)) {
      Put(bits, mode == kLower ? 28 : 15, Width(mode));  // U/S
      Put(bits, static_cast<unsigned>(CodeIn(kUpper, c)), 5);
      ++i;
    } else {
      LatchTo(bits, mode, static_cast<Mode>(target));
    }
  }
  return bits;
}

// The bits in codewords of `word` bits, padded with ones. A codeword may
// not be all zeros or all ones: where its first bits are, its last is the
// opposite and the bit it would have held starts the next.
std::vector<int> Codewords(const Bits& bits, int word) {
  std::vector<int> words;
  const int mask = (1 << word) - 2;
  std::size_t i = 0;
  while (i < bits.size()) {
    int value = 0;
    for (int j = 0; j < word; ++j) {
      if (i + j >= bits.size() || bits[i + j] != 0) value |= 1 << (word - 1 - j);
    }
    if ((value & mask) == mask || (value & mask) == 0) {
      words.push_back((value & mask) == 0 ? 1 : mask);
      i += static_cast<std::size_t>(word) - 1;
    } else {
      words.push_back(value);
      i += static_cast<std::size_t>(word);
    }
  }
  return words;
}

// Reed-Solomon check words over GF(2^bits) with the given field
// polynomial, the generator's roots a^1 ... a^count.
std::vector<int> CheckWords(const std::vector<int>& data, int count, int bits, int polynomial) {
  const int size = 1 << bits;
  std::vector<int> exp(2 * static_cast<std::size_t>(size));
  std::vector<int> log(static_cast<std::size_t>(size));
  for (int i = 0, x = 1; i < size - 1; ++i) {
    exp[i] = x;
    log[x] = i;
    x <<= 1;
    if (x & size) x ^= polynomial;
  }
  for (int i = size - 1; i < 2 * size; ++i) exp[i] = exp[i - (size - 1)];
  const auto multiply = [&](int a, int b) { return a == 0 || b == 0 ? 0 : exp[log[a] + log[b]]; };
  std::vector<int> generator{1};  // highest power first
  for (int i = 1; i <= count; ++i) {
    std::vector<int> next(generator.size() + 1, 0);
    for (std::size_t j = 0; j < generator.size(); ++j) {
      next[j] ^= generator[j];
      next[j + 1] ^= multiply(generator[j], exp[i]);
    }
    generator = std::move(next);
  }
  std::vector<int> remainder(static_cast<std::size_t>(count), 0);
  for (const int value : data) {
    const int factor = value ^ remainder.front();
    remainder.erase(remainder.begin());
    remainder.push_back(0);
    for (int j = 0; j < count; ++j) remainder[j] ^= multiply(generator[j + 1], factor);
  }
  return remainder;
}

struct Size {
  bool compact;
  int layers;
  int TotalBits() const { return ((compact ? 88 : 112) + 16 * layers) * layers; }
  int WordBits() const { return layers <= 2 ? 6 : layers <= 8 ? 8 : layers <= 22 ? 10 : 12; }
  int MaxDataWords() const { return compact ? 64 : 2048; }  // what the mode message can say
};

// Compact symbols of 1-4 layers and full-range ones of 1-32, smallest first.
std::vector<Size> AllSizes() {
  std::vector<Size> sizes;
  for (int layers = 1; layers <= 32; ++layers) {
    if (layers <= 4) sizes.push_back({true, layers});
    sizes.push_back({false, layers});
  }
  std::stable_sort(sizes.begin(), sizes.end(),
                   [](Size a, Size b) { return a.TotalBits() < b.TotalBits(); });
  return sizes;
}

int FieldPolynomial(int bits) {
  return bits == 4 ? 0x13 : bits == 6 ? 0x43 : bits == 8 ? 0x12D : bits == 10 ? 0x409 : 0x1069;
}

BarcodeSymbol Draw(Size size, std::vector<int> words) {
  const int word = size.WordBits();
  const int total_words = size.TotalBits() / word;
  const int data_words = static_cast<int>(words.size());
  const std::vector<int> check =
      CheckWords(words, total_words - data_words, word, FieldPolynomial(word));
  words.insert(words.end(), check.begin(), check.end());
  Bits message(static_cast<std::size_t>(size.TotalBits() % word), 0);
  for (const int w : words) Put(message, static_cast<unsigned>(w), word);

  // The mode message: layers and data words less one, with its own check
  // words over GF(16).
  std::vector<int> mode_words;
  if (size.compact) {
    const int value = (size.layers - 1) << 6 | (data_words - 1);
    mode_words = {value >> 4, value & 15};
  } else {
    const int value = (size.layers - 1) << 11 | (data_words - 1);
    mode_words = {value >> 12, value >> 8 & 15, value >> 4 & 15, value & 15};
  }
  const std::vector<int> mode_check =
      CheckWords(mode_words, size.compact ? 5 : 6, 4, FieldPolynomial(4));
  mode_words.insert(mode_words.end(), mode_check.begin(), mode_check.end());
  Bits mode_message;
  for (const int w : mode_words) Put(mode_message, static_cast<unsigned>(w), 4);

  // Full-range symbols have a reference grid every 16 modules from the
  // centre; the data's coordinates skip its lines.
  const int base = (size.compact ? 11 : 14) + 4 * size.layers;
  const int side = size.compact ? base : base + 1 + 2 * ((base / 2 - 1) / 15);
  const int centre = side / 2;
  std::vector<int> place(static_cast<std::size_t>(base));
  for (int i = 0; i < base; ++i) place[i] = i;
  if (!size.compact) {
    for (int i = 0; i < base / 2; ++i) {
      place[base / 2 - i - 1] = centre - (i + i / 15) - 1;
      place[base / 2 + i] = centre + (i + i / 15) + 1;
    }
  }
  BarcodeSymbol symbol;
  symbol.columns = symbol.rows = side;
  symbol.modules.assign(static_cast<std::size_t>(side) * side, 0);
  const auto set = [&](int x, int y) {
    symbol.modules[static_cast<std::size_t>(y) * side + x] = 1;
  };

  // The data spiral in from the outer layer, two modules deep, clockwise
  // from the top left.
  for (int layer = 0, offset = 0; layer < size.layers; ++layer) {
    const int row = (size.layers - layer) * 4 + (size.compact ? 9 : 12);
    const int near = layer * 2;
    const int far = base - 1 - layer * 2;
    for (int j = 0; j < row; ++j) {
      for (int k = 0; k < 2; ++k) {
        const auto bit = [&](int quarter) {
          return message[offset + row * 2 * quarter + j * 2 + k];
        };
        if (bit(0)) set(place[near + k], place[near + j]);
        if (bit(1)) set(place[near + j], place[far - k]);
        if (bit(2)) set(place[far - k], place[far - j]);
        if (bit(3)) set(place[far - j], place[near + k]);
      }
    }
    offset += row * 8;
  }
  // The mode message round the finder, 7 bits a side (compact) or 10
  // either side of the centre line.
  const int ring = size.compact ? 5 : 7;
  const int per_side = size.compact ? 7 : 10;
  for (int i = 0; i < per_side; ++i) {
    const int offset = size.compact ? centre - 3 + i : centre - 5 + i + i / 5;
    if (mode_message[i]) set(offset, centre - ring);
    if (mode_message[i + per_side]) set(centre + ring, offset);
    if (mode_message[3 * per_side - 1 - i]) set(offset, centre + ring);
    if (mode_message[4 * per_side - 1 - i]) set(centre - ring, offset);
  }
  // The finder's dark rings and the orientation marks at its corners.
  for (int d = 0; d < ring; d += 2) {
    for (int j = centre - d; j <= centre + d; ++j) {
      set(j, centre - d);
      set(j, centre + d);
      set(centre - d, j);
      set(centre + d, j);
    }
  }
  set(centre - ring, centre - ring);
  set(centre - ring + 1, centre - ring);
  set(centre - ring, centre - ring + 1);
  set(centre + ring, centre - ring);
  set(centre + ring, centre - ring + 1);
  set(centre + ring, centre + ring - 1);
  if (!size.compact) {
    for (int d = 0; d < base / 2 - 1; d += 15) {
      const int line = d / 15 * 16;
      for (int k = centre & 1; k < side; k += 2) {
        set(centre - line, k);
        set(centre + line, k);
        set(k, centre - line);
        set(k, centre + line);
      }
    }
  }
  return symbol;
}

}  // namespace

std::optional<BarcodeSymbol> EncodeAztec(std::string_view data, int size, std::string* error) {
  if (data.empty()) {
    *error = "no data to encode";
    return std::nullopt;
  }
  const Bits bits = HighLevel(data);
  for (const Size candidate : AllSizes()) {
    if (size > 100 && (candidate.compact != (size < 200) || candidate.layers != size % 100)) {
      continue;
    }
    const int total = candidate.TotalBits() / candidate.WordBits();
    std::vector<int> words = Codewords(bits, candidate.WordBits());
    const int data_words = static_cast<int>(words.size());
    // The share is of whole codewords, rounded down, and never under the
    // three check words a symbol of a given size keeps too.
    const int share = size == 0 ? total * 23 / 100 + 3 : size < 100 ? total * size / 100 : 0;
    const int check = std::max(3, share);
    if (data_words == 0 || data_words > candidate.MaxDataWords() || data_words > total - check) {
      continue;
    }
    return Draw(candidate, std::move(words));
  }
  *error = "data too long for an Aztec symbol";
  if (size > 100) {
    const int layers = size % 100;
    *error = std::string("data too long for ") + (size < 200 ? "a compact" : "a full-range") +
             " Aztec symbol of " + std::to_string(layers) + (layers == 1 ? " layer" : " layers");
  }
  return std::nullopt;
}

}  // namespace zplport::printer
