// zplport-cli --status and --confirm QUANTITY: the printer's own word on
// whether it can print, and on whether a print came out. Every line goes to
// `out` as the plain request's messages do.
#pragma once

#include <cstdio>
#include <string>

namespace zplport {

// Exit statuses besides the plain request's 0 and 1.
inline constexpr int kExitUsage = 2;
inline constexpr int kExitCondition = 3;  // something stops printing

// 0 ready, 3 a condition, 1 no answer (or none that can be read).
int RunStatusCommand(std::FILE* out);

// The plain request, asked about before and after: 3 when a condition
// stops printing (before: nothing is sent), 0 when the printer holds none of
// the labels any more, 1 when the request failed, the printer cannot be
// asked, or its counts stay put for 30 s. `progress` (may be null) gets
// "已打印 P / K" as the counts go down.
int RunConfirmedPrint(const std::string& quantity, std::FILE* out, std::FILE* progress);

}  // namespace zplport
