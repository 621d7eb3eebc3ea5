// Feeds arbitrary bytes to the date-text parser. Rejections are expected;
// crashes, sanitizer reports, reads past the text and fields out of their
// digit ranges are not.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "lib/date/date_parse.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Exactly `size` bytes, no NUL after them, so ASan sees any read beyond the text.
    std::vector<char> text(data, data + size);
    tolv::DateText parsed;
    const int code = tolv::parse_date_text(text.data(), text.size(), parsed);
    if (code != 0 && code != 5505 && code != 5510 && code != 5515) std::abort();
    if (code == 0) {
        const bool fields_in_range = parsed.year >= 1970 && parsed.year <= 9999 && parsed.month >= 1 &&
                                     parsed.month <= 99 && parsed.day >= 1 && parsed.day <= 99 && parsed.hour >= 0 &&
                                     parsed.hour <= 99 && parsed.minute >= 0 && parsed.minute <= 99 &&
                                     parsed.second >= 0 && parsed.second <= 99 && parsed.millis >= 0 &&
                                     parsed.millis <= 999 && parsed.zone_minutes >= -99 * 60 - 99 &&
                                     parsed.zone_minutes <= 99 * 60 + 99;
        if (!fields_in_range) std::abort();
    }
    return 0;
}
