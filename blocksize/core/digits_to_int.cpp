#include "blocksize/core/digits_to_int.h"

#include <limits>
#include <stdexcept>

namespace blocksize {

int32_t DigitsToInt(const std::string& text) {
  int64_t value = 0;
  bool anyDigit = false;
  for (char c : text) {
    if (c < '0' || c > '9') continue;
    anyDigit = true;
    value = value * 10 + (c - '0');
    if (value > std::numeric_limits<int32_t>::max()) {
      throw std::out_of_range("'" + text + "' ist keine gültige ganze Zahl.");
    }
  }
  if (!anyDigit) throw std::invalid_argument("'" + text + "' ist keine gültige ganze Zahl.");
  return static_cast<int32_t>(value);
}

}  // namespace blocksize
