// The page a label is drawn on, the ways fields put ink on it, and what one
// label may spend doing so.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "printer/zpl_parser.h"

namespace zplport::printer {

// A 1-bit image: rows of (width + 7) / 8 bytes, leftmost pixel in the
// highest bit, 1 = black.
struct Bitmap {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> bits{};

  Bitmap() = default;
  Bitmap(int w, int h);  // all white

  int stride() const { return (width + 7) / 8; }
  static std::size_t BytesFor(int w, int h) {
    return static_cast<std::size_t>((w + 7) / 8) * static_cast<std::size_t>(h);
  }
  // False outside the image.
  bool Black(int x, int y) const;
  void Set(int x, int y);
  void Flip(int x, int y);
};

// Half-open: [x0, x1) × [y0, y1).
struct Rect {
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  bool empty() const { return x0 >= x1 || y0 >= y1; }
  Rect Intersect(const Rect& o) const {
    return {std::max(x0, o.x0), std::max(y0, o.y0), std::min(x1, o.x1), std::min(y1, o.y1)};
  }
};

// Black and white paint over what lies below; flip (^FR) inverts it.
enum class Ink { kBlack, kWhite, kFlip };

// Paints x0..x1 of row y, a byte at a time where it can; the span must lie
// inside the bitmap.
void PaintSpan(Bitmap& bitmap, int y, int x0, int x1, Ink ink);
// Clipped to the bitmap.
void PaintRect(Bitmap& bitmap, Rect rect, Ink ink);

// Saturates far outside any page.
int Clip(long long value);

// From a field's own frame (u to the right along the text, v down the
// lines) to the label's pixels, turning about the origin point (pu, pv) that
// lands on the label at (x, y).
struct FieldTransform {
  Orientation orientation = Orientation::kNormal;
  long long x = 0, y = 0, pu = 0, pv = 0;

  // The pixel that frame pixel (u, v) lands on.
  void Map(long long u, long long v, long long* out_x, long long* out_y) const;
  // Where the frame point (u, v), a pixel corner, lands.
  void MapPoint(long long u, long long v, long long* out_x, long long* out_y) const;
  // The label pixels covered by the frame's pixels [u0, u1) × [v0, v1).
  Rect MapRect(long long u0, long long v0, long long u1, long long v1) const;
};

// Where a field of `width` × `height` frame pixels lies for the origin
// rules of ^FO (top left of the turned field) and ^FT (the frame point
// (0, baseline) at the origin); right justified, of ^FO the top right and
// of ^FT the point (width, baseline).
FieldTransform PlaceField(const ZplField& field, long long width, long long height,
                          long long baseline);

// What one label may still spend: time from its start and bytes of memory.
// Drawing stops at the first check past either; `reason` then says which,
// e.g. "took longer than 2000 ms", "its image needs more than 64 MB".
class LabelBudget {
 public:
  LabelBudget() = default;  // unlimited
  LabelBudget(std::chrono::milliseconds time, std::size_t memory);

  // False, and from then on, once the time is up.
  bool InTime();
  // False when `bytes` more for `what` (e.g. "its page") would exceed the
  // memory.
  bool Reserve(std::size_t bytes, const std::string& what);
  void Release(std::size_t bytes) { used_ -= std::min(bytes, used_); }

  bool exceeded() const { return !reason_.empty(); }
  const std::string& reason() const { return reason_; }
  std::chrono::steady_clock::time_point deadline() const { return deadline_; }

 private:
  std::chrono::milliseconds time_{0};
  std::chrono::steady_clock::time_point deadline_ = std::chrono::steady_clock::time_point::max();
  std::size_t memory_ = static_cast<std::size_t>(-1);
  std::size_t used_ = 0;
  std::string reason_;
};

}  // namespace zplport::printer
