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

}  // namespace kelvane
