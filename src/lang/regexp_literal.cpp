// Finding and splitting regular-expression literals in the module text.
#include "lang/regexp_literal.h"

namespace tolv {

const char* regexp_literal_close(const char* p) {
    bool in_class = false;
    for (const char* q = p + 1; *q; ++q) {
        if (*q == '\n' || *q == '\r') return nullptr;
        if (*q == '\\') {
            if (q[1] == '\0' || q[1] == '\n') return nullptr;
            ++q;
            continue;
        }
        if (in_class) {
            if (*q == ']') in_class = false;
        } else if (*q == '[') {
            in_class = true;
        } else if (*q == '/') {
            return q;
        }
    }
    return nullptr;
}

RegexpLiteralParts split_regexp_literal(const char* text, size_t length) {
    size_t close = length;
    while (close > 1 && text[close - 1] != '/') --close;
    // text[close - 1] is the closing '/'; flags follow it.
    return {text + 1, close >= 2 ? close - 2 : 0, text + close, length - close};
}

}  // namespace tolv
