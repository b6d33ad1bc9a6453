// Integer conversion with strtol's rules and a check for trailing text. Pure: no <windows.h>.
#pragma once

#include <cstdint>

// Converts text with strtol in the given base (0 or 2..36) and returns the value in every case.
// The conversion fails on overflow (the value then saturates to the 32-bit limits, also where long is
// wider) and when it yields 0 without a consumed "0". *pbError, when given, is set on failure or when
// anything but white space follows the number, cleared otherwise. A null text converts like "".
int32_t ParseIntegerText(const char* text, bool* pbError, int base);
