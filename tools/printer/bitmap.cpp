#include "printer/bitmap.h"

namespace zplport::printer {

Bitmap::Bitmap(int w, int h) : width(w), height(h), bits(BytesFor(w, h)) {}

bool Bitmap::Black(int x, int y) const {
  if (x < 0 || y < 0 || x >= width || y >= height) return false;
  return (bits[static_cast<std::size_t>(y) * stride() + static_cast<std::size_t>(x / 8)] &
          (0x80 >> (x % 8))) != 0;
}

void Bitmap::Set(int x, int y) {
  if (x < 0 || y < 0 || x >= width || y >= height) return;
  bits[static_cast<std::size_t>(y) * stride() + static_cast<std::size_t>(x / 8)] |=
      static_cast<std::uint8_t>(0x80 >> (x % 8));
}

void Bitmap::Flip(int x, int y) {
  if (x < 0 || y < 0 || x >= width || y >= height) return;
  bits[static_cast<std::size_t>(y) * stride() + static_cast<std::size_t>(x / 8)] ^=
      static_cast<std::uint8_t>(0x80 >> (x % 8));
}

void PaintSpan(Bitmap& bitmap, int y, int x0, int x1, Ink ink) {
  std::uint8_t* row = bitmap.bits.data() + static_cast<std::size_t>(y) * bitmap.stride();
  auto apply = [ink](std::uint8_t& byte, std::uint8_t mask) {
    switch (ink) {
      case Ink::kBlack:
        byte |= mask;
        break;
      case Ink::kWhite:
        byte &= static_cast<std::uint8_t>(~mask);
        break;
      case Ink::kFlip:
        byte ^= mask;
        break;
    }
  };
  int x = x0;
  while (x < x1 && (x % 8) != 0) {
    apply(row[x / 8], static_cast<std::uint8_t>(0x80 >> (x % 8)));
    ++x;
  }
  while (x + 8 <= x1) {
    apply(row[x / 8], 0xFF);
    x += 8;
  }
  while (x < x1) {
    apply(row[x / 8], static_cast<std::uint8_t>(0x80 >> (x % 8)));
    ++x;
  }
}

void PaintRect(Bitmap& bitmap, Rect rect, Ink ink) {
  rect = rect.Intersect({0, 0, bitmap.width, bitmap.height});
  if (rect.empty()) return;
  for (int y = rect.y0; y < rect.y1; ++y) PaintSpan(bitmap, y, rect.x0, rect.x1, ink);
}

int Clip(long long value) {
  return static_cast<int>(std::clamp<long long>(value, -(1LL << 30), 1LL << 30));
}

void FieldTransform::Map(long long u, long long v, long long* out_x, long long* out_y) const {
  const long long du = u - pu;
  const long long dv = v - pv;
  switch (orientation) {
    case Orientation::kNormal:
      *out_x = x + du;
      *out_y = y + dv;
      break;
    case Orientation::kRotated:  // 90° clockwise
      *out_x = x - dv - 1;
      *out_y = y + du;
      break;
    case Orientation::kInverted:
      *out_x = x - du - 1;
      *out_y = y - dv - 1;
      break;
    case Orientation::kBottomUp:  // 270° clockwise
      *out_x = x + dv;
      *out_y = y - du - 1;
      break;
  }
}

void FieldTransform::MapPoint(long long u, long long v, long long* out_x, long long* out_y) const {
  const long long du = u - pu;
  const long long dv = v - pv;
  switch (orientation) {
    case Orientation::kNormal:
      *out_x = x + du;
      *out_y = y + dv;
      break;
    case Orientation::kRotated:
      *out_x = x - dv;
      *out_y = y + du;
      break;
    case Orientation::kInverted:
      *out_x = x - du;
      *out_y = y - dv;
      break;
    case Orientation::kBottomUp:
      *out_x = x + dv;
      *out_y = y - du;
      break;
  }
}

Rect FieldTransform::MapRect(long long u0, long long v0, long long u1, long long v1) const {
  long long ax = 0, ay = 0, bx = 0, by = 0;
  Map(u0, v0, &ax, &ay);
  Map(u1 - 1, v1 - 1, &bx, &by);
  return {Clip(std::min(ax, bx)), Clip(std::min(ay, by)), Clip(std::max(ax, bx) + 1),
          Clip(std::max(ay, by) + 1)};
}

FieldTransform PlaceField(const ZplField& field, long long width, long long height,
                          long long baseline) {
  FieldTransform transform{field.orientation, field.x, field.y, 0, 0};
  if (field.baseline_origin) {
    // Right justified, the baseline's end is at the origin.
    transform.pv = baseline;
    if (field.right_justified) transform.pu = width;
    return transform;
  }
  // Right justified, the turned field's top right corner is at the origin.
  if (field.right_justified) {
    const bool upright =
        field.orientation == Orientation::kNormal || field.orientation == Orientation::kInverted;
    transform.x -= upright ? width : height;
  }
  switch (field.orientation) {
    case Orientation::kNormal:
      break;
    case Orientation::kRotated:
      transform.pv = height;
      break;
    case Orientation::kInverted:
      transform.pu = width;
      transform.pv = height;
      break;
    case Orientation::kBottomUp:
      transform.pu = width;
      break;
  }
  return transform;
}

LabelBudget::LabelBudget(std::chrono::milliseconds time, std::size_t memory)
    : time_(time), deadline_(std::chrono::steady_clock::now() + time), memory_(memory) {}

bool LabelBudget::InTime() {
  if (!reason_.empty()) return false;
  if (std::chrono::steady_clock::now() <= deadline_) return true;
  reason_ = "took longer than " + std::to_string(time_.count()) + " ms";
  return false;
}

bool LabelBudget::Reserve(std::size_t bytes, const std::string& what) {
  if (!reason_.empty()) return false;
  if (bytes <= memory_ && used_ <= memory_ - bytes) {
    used_ += bytes;
    return true;
  }
  reason_ = what + " needs more than " + std::to_string(memory_ >> 20) + " MB";
  return false;
}

}  // namespace zplport::printer
