// Text-to-number conversions with the exact semantics of the platform calls the options
// dialogs were written against, kept free of any widget so they can be tested on their own.
//
// Wide texts are UTF-16 (what an edit box holds); narrow texts are 8-bit. All functions are
// pure and may be called from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace marrowdale {

// An edit box read into a buffer of 20 characters yields at most its first 19.
inline constexpr std::size_t kEditReadLimit = 19;

// The first `limit` code units of a text (the whole text when it is shorter).
std::u16string_view firstChars(std::u16string_view text, std::size_t limit = kEditReadLimit);
std::string_view firstChars(std::string_view text, std::size_t limit = kEditReadLimit);

// Text to signed 32-bit integer like the C runtime's wide atoi: leading white space, an
// optional sign, then decimal digits up to the first other character. No digits give 0. A
// value outside the 32-bit range saturates at INT32_MIN / INT32_MAX.
std::int32_t wtoi(std::u16string_view text);

// Narrow text to a single-precision number like the C runtime's _atoflt: leading white space,
// an optional sign, decimal digits with an optional decimal point and an optional exponent,
// up to the first other character. Text that is not a number gives 0. A magnitude beyond the
// float range gives an infinity of that sign; one below the smallest float gives 0. The
// conversion does not depend on the process locale.
float atoflt(std::string_view text);

// A single-precision result to the unsigned 32-bit number that is shown: truncated toward
// zero; 4294967296 or more, -1 or less, and NaN give 4294967295; between -1 and 0 gives 0.
std::uint32_t floatToU32(float value);

// The decimal text of an unsigned number.
std::u16string decimalText(std::uint64_t value);

}  // namespace marrowdale
