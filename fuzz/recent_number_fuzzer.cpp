// The number files of the recent-projects lists ("editmax.his" and the like) are read through
// ParseIntegerAnswer: any text gives a number or nothing, and a number written back reads the
// same. (The entries file's line splitting lives in the Qt layer and is tried by the
// reliability tests instead.)

#include <cstdint>
#include <string>

#include "app/app_text.h"
#include "fuzz_support.h"

using namespace vlm;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto number = ParseIntegerAnswer(text);
    if (number) {
        FUZZ_CHECK(ParseIntegerAnswer(std::to_string(*number)) == number);
        // Only digits, a sign and blanks make a number.
        for (char c : text)
            FUZZ_CHECK((c >= '0' && c <= '9') || c == '-' || c == '+' || c == ' ' || c == '\t');
    }
    return 0;
}
