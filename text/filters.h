// Shift_JIS-aware text filters and byte-exact copies into fixed record slots.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "text/jwwstring.h"

namespace kelvane {

// Copies min(|n|, text length) bytes to the buffer; the rest of the buffer is untouched.
void CopyToBuffer(void* buffer, std::string_view text, int32_t n);
// Whole characters of the text within bytes start .. start + count - 1 (1-based).
std::string MbcsCopy(std::string_view text, int32_t start, int32_t count);

std::string RemoveBlanks(std::string_view text);
std::string FilterTextForWrite(std::string_view text);
std::string FilterTextForRead(std::string_view text);

// True when the filter would change the text; most texts pass unchanged, without a copy.
bool ChangedByReadFilter(const JwwString& text);
bool ChangedByWriteFilter(const JwwString& text);

// The same rules, character by character, for strings of either stored form.
JwwString RemoveBlanks(const JwwString& text);
JwwString FilterTextForWrite(const JwwString& text);
JwwString FilterTextForRead(const JwwString& text);

}  // namespace kelvane
