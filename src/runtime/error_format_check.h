// Compile-time check of the arguments given to a raise against the printf
// format of its error row: how many, and of which kind each conversion takes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace tolv::error_format {

// What one conversion (or a `*` width or precision) takes.
enum class Slot : uint8_t { INT, LONG, LONG_LONG, SIZE, DOUBLE, TEXT, POINTER, UNSUPPORTED };

constexpr int SLOT_LIMIT = 8;

struct Slots {
    Slot slot[SLOT_LIMIT] = {};
    int count = 0;
    bool unsupported = false;  // a conversion this check does not know, or too many
};

constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }

constexpr void add(Slots& s, Slot slot) {
    if (slot == Slot::UNSUPPORTED || s.count == SLOT_LIMIT) {
        s.unsupported = true;
        return;
    }
    s.slot[s.count++] = slot;
}

constexpr Slot integer_slot(int longs, bool size) {
    if (size) return Slot::SIZE;
    if (longs == 1) return Slot::LONG;
    if (longs == 2) return Slot::LONG_LONG;
    return Slot::INT;
}

// The slots `format` takes, in order.
constexpr Slots slots_of(const char* f) {
    Slots s;
    for (; *f; ++f) {
        if (*f != '%') continue;
        ++f;
        if (*f == '%') continue;
        while (*f == '-' || *f == '+' || *f == ' ' || *f == '#' || *f == '0') ++f;
        if (*f == '*') add(s, Slot::INT), ++f;
        while (is_digit(*f)) ++f;
        if (*f == '.') {
            ++f;
            if (*f == '*') add(s, Slot::INT), ++f;
            while (is_digit(*f)) ++f;
        }
        int longs = 0;
        bool size = false;
        while (*f == 'h') ++f;
        while (*f == 'l') ++longs, ++f;
        if (*f == 'z') size = true, ++f;
        switch (*f) {
            case 'd': case 'i': case 'u': case 'o': case 'x': case 'X': case 'c':
                add(s, integer_slot(longs, size));
                break;
            case 'f': case 'F': case 'e': case 'E': case 'g': case 'G': case 'a': case 'A':
                add(s, longs == 0 && !size ? Slot::DOUBLE : Slot::UNSUPPORTED);
                break;
            case 's': add(s, longs == 0 && !size ? Slot::TEXT : Slot::UNSUPPORTED); break;
            case 'p': add(s, Slot::POINTER); break;
            default: add(s, Slot::UNSUPPORTED); return s;  // includes %n and a format cut short
        }
    }
    return s;
}

// Whether an argument of type T (as passed through `...`) suits `slot`.
template <class T>
constexpr bool fits(Slot slot) {
    using U = std::remove_cv_t<T>;
    constexpr bool integral = std::is_integral_v<U>;
    switch (slot) {
        case Slot::INT: return integral && sizeof(U) <= sizeof(int);
        case Slot::LONG: return std::is_same_v<U, long> || std::is_same_v<U, unsigned long>;
        case Slot::LONG_LONG: return std::is_same_v<U, long long> || std::is_same_v<U, unsigned long long>;
        case Slot::SIZE: return integral && sizeof(U) == sizeof(size_t) && !std::is_same_v<U, bool>;
        case Slot::DOUBLE: return std::is_floating_point_v<U> && !std::is_same_v<U, long double>;
        case Slot::TEXT: return std::is_same_v<U, const char*> || std::is_same_v<U, char*>;
        case Slot::POINTER: return std::is_pointer_v<U>;
        case Slot::UNSUPPORTED: return false;
    }
    return false;
}

// Whether arguments of types Args, in order, are what `format` takes.
template <class... Args>
constexpr bool accepts(const char* format) {
    const Slots s = slots_of(format);
    if (s.unsupported || s.count != int(sizeof...(Args))) return false;
    int i = 0;
    return (fits<Args>(s.slot[i++]) && ... && true);
}

}  // namespace tolv::error_format
