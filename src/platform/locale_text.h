#pragma once
// The user locale's texts for dates, times and decimal numbers.

#include <string>

#include "platform/packed_time.h"

namespace vlm {

// Takes the locale from the environment (LC_ALL, LC_TIME, LC_NUMERIC, LANG). Called once by
// each program at start; until then the "C" locale is in force.
void InitLocaleFromEnvironment();

// The short date, a blank and the long time of the locale, e.g. "07.12.2026 09:08:15".
// The time part is left off when the moment is exactly midnight. Under the C/POSIX locale the
// date reads "2026-12-07" and the time "09:08:15".
std::string DateTimeText(DateTime value);

// A strftime date format with every two-digit year (%y, and the %y inside %D) made a four-digit
// one (%Y).
std::string WithFourDigitYear(std::string format);

// The locale's decimal separator, e.g. "." or ",".
std::string DecimalSeparator();

}  // namespace vlm
