// Number parsers and formatters of the settings file and the options.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kelvane {

void SwapReals(double& a, double& b);

bool TextToBool(std::string_view text);
std::string BoolToText(bool value);
int32_t TextToInt(std::string_view text);
double TextToReal(std::string_view text);

// The shortest text that reads back as the same double, as std::to_chars(first, last, value)
// writes it: plain or with an exponent ("1e+20"), whichever is shorter, plain on a tie. Writes at
// most 24 bytes at p and answers their end.
char* ShortestReal(char* p, double value);
// The same without std::to_chars, for C++ libraries that have none for reals: each precision
// through snprintf until one reads back. Slower; ShortestReal uses it only where it must.
char* ShortestRealPortable(char* p, double value);
// The text printf's "%.15g" gives: std::to_chars's general form with 15 significant digits.
std::string GeneralReal15(double value);

}  // namespace kelvane
