// Breaks a text into the lines that a static text of a given width shows,
// for a front-end that draws the lines itself at a spacing of its choosing.
// The rules are those of Chinese typesetting with Latin words inside: a line
// may end between two Chinese characters and after a space, but not inside a
// Latin word or number, not before closing punctuation (。，）and the like)
// and not after opening punctuation. A word wider than the whole line is cut
// where the line is full.
#pragma once

#include <functional>
#include <string_view>
#include <vector>

namespace zplport::ui {

// `text` is UTF-8; `measure` gives the width of a piece of it in the units
// of `width`. The lines are views into `text`, in order, without the spaces
// at which they were broken; an empty text has no line.
std::vector<std::string_view> WrapLines(std::string_view text, int width,
                                        const std::function<int(std::string_view)>& measure);

}  // namespace zplport::ui
