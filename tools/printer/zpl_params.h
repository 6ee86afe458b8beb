// How ZPL commands write their parameters: comma-separated, blanks around
// them ignored, numbers read as far as they go, letters in either case.
// Shared by the lexer and the command handlers.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "printer/zpl_parser.h"

namespace zplport::printer {

char Upper(char c);
std::string UpperText(std::string_view text);
// Letters, digits and '@': what a command's name is made of.
bool IsCommandChar(char c);
std::string_view Trim(std::string_view text);
std::string WithoutLineEnds(std::string_view text);

// "a, b,,c" -> {"a", "b", "", "c"}; the views point into `params`.
std::vector<std::string_view> SplitParams(std::string_view params, char delimiter = ',');

// A leading integer, saturated far beyond any accepted value; nullopt when
// the text holds no number.
std::optional<long long> Number(std::string_view text);
// "2.5" as tenths: 25.
std::optional<long long> Tenths(std::string_view text);
std::optional<Orientation> OrientationOf(std::string_view text);
std::optional<bool> YesNo(std::string_view text);
// The value of a hex digit, -1 for any other character.
int HexValue(char c);

// "R:LOGO.GRF" -> "LOGO.GRF": the drive is dropped, the extension added
// when missing, all in upper case.
std::string ObjectName(std::string_view text, std::string_view default_extension);
// ^ID's wildcards: "*" any run, "?" any one character.
bool NameMatches(std::string_view pattern, std::string_view name);

}  // namespace zplport::printer
