#include "platform/shift_jis.h"

#include <cerrno>
#include <iconv.h>

namespace tolv {

std::string utf8_to_shift_jis(const char* text, size_t length) {
    std::string out;
    iconv_t cd = iconv_open("CP932", "UTF-8");
    if (cd == iconv_t(-1)) cd = iconv_open("SHIFT_JIS", "UTF-8");
    if (cd == iconv_t(-1)) return std::string(text, length);
    char* in = const_cast<char*>(text);
    size_t in_left = length;
    char buffer[256];
    while (in_left > 0) {
        char* o = buffer;
        size_t o_left = sizeof buffer;
        size_t r = iconv(cd, &in, &in_left, &o, &o_left);
        out.append(buffer, size_t(o - buffer));
        if (r == size_t(-1) && errno != E2BIG) {
            // Skip one whole UTF-8 character that has no Shift_JIS form (or is broken).
            out.push_back('?');
            size_t skip = 1;
            while (skip < in_left && (static_cast<unsigned char>(in[skip]) & 0xC0) == 0x80) ++skip;
            in += skip;
            in_left -= skip;
        }
    }
    iconv_close(cd);
    return out;
}

}  // namespace tolv
