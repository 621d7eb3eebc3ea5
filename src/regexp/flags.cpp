// RegExp flags: the letters a pattern is written with and the flag bits.
#include <string>

#include "regexp/regexp.h"
#include "runtime/value.h"

namespace tolv {

uint8_t parse_regexp_flags(const char* text, size_t length, RaiseFunction raise) {
    uint8_t flags = 0;
    for (size_t i = 0; i < length; ++i) {
        switch (text[i]) {
        case 'g': flags |= REGEXP_FLAG_G; break;
        case 'i': flags |= REGEXP_FLAG_I; break;
        case 'm': flags |= REGEXP_FLAG_M; break;
        case 's': flags |= REGEXP_FLAG_S; break;
        case 'y': flags |= REGEXP_FLAG_Y; break;
        case 'u': break;
        default: {
            std::string all(text, length);
            raise_with(raise, Error::REGEXP_BAD_FLAGS, all.c_str());
        }
        }
    }
    return flags;
}

size_t regexp_flag_letters(uint8_t flags, char* out) {
    size_t n = 0;
    if (flags & REGEXP_FLAG_I) out[n++] = 'i';
    if (flags & REGEXP_FLAG_M) out[n++] = 'm';
    if (flags & REGEXP_FLAG_G) out[n++] = 'g';
    if (flags & REGEXP_FLAG_Y) out[n++] = 'y';
    if (flags & REGEXP_FLAG_S) out[n++] = 's';
    out[n] = '\0';
    return n;
}

}  // namespace tolv
