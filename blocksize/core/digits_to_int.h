#pragma once

#include <cstdint>
#include <string>

namespace blocksize {

// The digits "0" to "9" of `text`, read as one decimal number; every other character is
// skipped, so "1.234 " gives 1234. Raises std::invalid_argument (German message) when the
// text holds no digit, std::out_of_range when the number exceeds 32 bits.
int32_t DigitsToInt(const std::string& text);

}  // namespace blocksize
