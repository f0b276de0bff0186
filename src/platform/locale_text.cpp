#include "platform/locale_text.h"

#include <langinfo.h>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace vlm {

namespace {

// C.UTF-8 is the C locale with another character set; its dates read the same.
bool IsPlainCLocale() {
    const char* name = std::setlocale(LC_TIME, nullptr);
    return name == nullptr || std::strcmp(name, "C") == 0 || std::strcmp(name, "POSIX") == 0 ||
           std::strncmp(name, "C.", 2) == 0;
}

std::string Format(const std::string& format, const struct tm& fields) {
    if (format.empty()) {
        return {};
    }
    char buffer[256];
    const std::size_t length = std::strftime(buffer, sizeof buffer, format.c_str(), &fields);
    return std::string(buffer, length);
}

}  // namespace

// A two-digit year would make 1999 and 2099 look alike in the reports.
std::string WithFourDigitYear(std::string format) {
    for (std::size_t at = 0; (at = format.find('%', at)) != std::string::npos; at += 2) {
        if (at + 1 >= format.size()) {
            break;
        }
        if (format[at + 1] == 'y') {
            format[at + 1] = 'Y';
        } else if (format[at + 1] == 'D') {
            format.replace(at, 2, "%m/%d/%Y");
            at += 6;
        }
    }
    return format;
}

void InitLocaleFromEnvironment() {
    std::setlocale(LC_ALL, "");
}

std::string DateTimeText(DateTime value) {
    const LocalFields f = SplitDateTime(value);
    const bool midnight = f.hour == 0 && f.minute == 0 && f.second == 0 && f.millisecond == 0;

    if (IsPlainCLocale()) {
        char buffer[64];
        if (midnight) {
            std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", f.year, f.month, f.day);
        } else {
            std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", f.year, f.month,
                          f.day, f.hour, f.minute, f.second);
        }
        return buffer;
    }

    struct tm fields = TmFromFields(f);
    // Weekday and day of the year for formats that name them; timegm leaves the fields as they
    // are, whatever the zone's summer-time rules say.
    struct tm normalised = fields;
    timegm(&normalised);
    fields.tm_wday = normalised.tm_wday;
    fields.tm_yday = normalised.tm_yday;

    std::string text = Format(WithFourDigitYear(nl_langinfo(D_FMT)), fields);
    if (!midnight) {
        text += ' ';
        text += Format(nl_langinfo(T_FMT), fields);
    }
    return text;
}

std::string DecimalSeparator() {
    const struct lconv* conventions = std::localeconv();
    if (conventions == nullptr || conventions->decimal_point == nullptr ||
        conventions->decimal_point[0] == '\0') {
        return ".";
    }
    return conventions->decimal_point;
}

}  // namespace vlm
