#include "lib/date/date_parse.h"

#include <cstring>

#include "runtime/error_table.h"

namespace tolv {

namespace {

constexpr int NUMERIC_REJECTED = error_row(Error::DATE_BAD_TEXT_5515).code;
constexpr int WORD_REJECTED = error_row(Error::DATE_BAD_TEXT_5510).code;
constexpr int BEFORE_1970 = error_row(Error::DATE_BEFORE_1970_5505).code;

// Weekday w at 3w, month m at 21 + 3m.
constexpr char ABBREVIATIONS[] = "SunMonTueWedThuFriSatJanFebMarAprMayJunJulAugSepOctNovDec";
constexpr char MONTH_NAMES[] =
    "January   February  March     April     May       June      July      August    September October   "
    "November  December  ";
constexpr int MONTH_WIDTH = 10;
constexpr int WEEKDAY = 0;

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

struct Cursor {
    const char* p;
    const char* end;

    bool at_end() const { return p == end; }
    // The character `ahead` places on, or NUL past the end.
    char peek(size_t ahead = 0) const { return size_t(end - p) > ahead ? p[ahead] : '\0'; }
    bool digit_at(size_t ahead) const { return size_t(end - p) > ahead && is_digit(p[ahead]); }
    bool take(char c) {
        if (at_end() || *p != c) return false;
        ++p;
        return true;
    }
    void skip_blanks() {
        while (!at_end() && *p == ' ') ++p;
    }
    // Exactly `count` digits.
    bool digits(int count, int& value) {
        value = 0;
        for (int i = 0; i < count; ++i) {
            if (!digit_at(0)) return false;
            value = value * 10 + (*p++ - '0');
        }
        return true;
    }
    // One digit, or two.
    bool one_or_two_digits(int& value) {
        if (!digit_at(0)) return false;
        return digits(digit_at(1) ? 2 : 1, value);
    }
};

// Hours, then ' ', 'Z' or 'z'; or ':' minutes then ' ', 'Z' or 'z'; or
// ':' minutes ':' seconds. The text may not end after the hours or minutes.
bool read_time_of_day(Cursor& c, DateText& out) {
    const char after = c.peek(1);
    const bool one_digit = c.digit_at(0) && (c.p + 1 == c.end || after == ':' || after == ' ' || after == 'Z' ||
                                             after == 'z');
    if (!c.digits(one_digit ? 1 : 2, out.hour)) return false;
    if (c.take(' ') || c.take('Z') || c.take('z')) return true;
    if (!c.take(':') || !c.one_or_two_digits(out.minute)) return false;
    if (c.take(' ') || c.take('Z') || c.take('z')) return true;
    return c.take(':') && c.one_or_two_digits(out.second);
}

// '.' and one to three digits, a decimal fraction of the second. After one
// or two digits only the end, ' ' or 'Z' may follow.
bool read_fraction(Cursor& c, DateText& out) {
    if (!c.take('.')) return true;
    int count = 0;
    int value = 0;
    while (count < 3 && c.digit_at(0)) {
        value = value * 10 + (*c.p++ - '0');
        ++count;
    }
    if (count == 0) return false;
    if (count < 3 && !(c.at_end() || c.peek() == ' ' || c.peek() == 'Z')) return false;
    out.millis = count == 1 ? value * 100 : count == 2 ? value * 10 : value;
    return true;
}

// Two digits, or one digit followed by one of `followers`. A ',' after a
// single digit is taken, and a blank too when `take_blank` is set.
bool read_day(Cursor& c, const char* followers, int& day, bool take_blank = false) {
    if (!c.digit_at(0)) return false;
    if (c.digit_at(1)) return c.digits(2, day);
    const char next = c.peek(1);
    if (c.p + 1 == c.end || next == '\0' || !std::strchr(followers, next)) return false;
    c.digits(1, day);
    if (!c.take(',') && take_blank) c.take(' ');
    return true;
}

bool read_numeric(Cursor& c, DateText& out) {
    if (!c.digits(4, out.year)) return false;
    const char separator = c.peek();
    if (separator == '-' || separator == '/') {
        ++c.p;
        if (!c.one_or_two_digits(out.month) || !c.take(separator)) return false;
    } else {
        // No separator: the month runs straight into the day.
        if (!read_day(c, ", ", out.month, true)) return false;
    }
    if (!read_day(c, ", ", out.day)) return false;
    if (!(c.take('T') || c.take(' '))) return false;
    if (!read_time_of_day(c, out)) return false;
    c.skip_blanks();
    // The zone letters of this form are not read: its fields are local time.
    return read_fraction(c, out);
}

// A run of 3-17 letters: WEEKDAY for a weekday abbreviation, 1-12 for a month
// abbreviation or name, -1 for anything else.
int read_word(Cursor& c) {
    const char* start = c.p;
    while (!c.at_end() && is_letter(*c.p)) ++c.p;
    const size_t length = size_t(c.p - start);
    if (length == 3) {
        for (int i = 0; i < 19; ++i) {
            if (std::memcmp(ABBREVIATIONS + 3 * i, start, 3) == 0) return i < 7 ? WEEKDAY : i - 6;
        }
        return -1;
    }
    if (length < 3 || length > 17) return -1;
    for (int m = 0; m < 12; ++m) {
        const char* entry = MONTH_NAMES + m * MONTH_WIDTH;
        if (length <= size_t(MONTH_WIDTH) && std::memcmp(entry, start, length) == 0 &&
            (length == size_t(MONTH_WIDTH) || entry[length] == ' '))
            return m + 1;
    }
    return -1;
}

bool read_month_word(Cursor& c, DateText& out) {
    out.month = read_word(c);
    return out.month > 0;
}

void skip_blanks_and_comma(Cursor& c) {
    c.skip_blanks();
    c.take(',');
    c.skip_blanks();
}

// Day then month word, or month word then day (after a weekday).
bool read_day_and_month(Cursor& c, DateText& out) {
    if (c.digit_at(0)) {
        if (!read_day(c, " ,", out.day)) return false;
        skip_blanks_and_comma(c);
        return read_month_word(c, out);
    }
    if (!read_month_word(c, out)) return false;
    c.skip_blanks();
    return read_day(c, " ,", out.day);
}

// Two or three digits and a blank (years since 1900), or four digits.
bool read_word_form_year(Cursor& c, DateText& out) {
    int count = 0;
    while (c.digit_at(size_t(count))) ++count;
    if ((count == 2 || count == 3) && c.peek(size_t(count)) == ' ') {
        int years = 0;
        c.digits(count, years);
        out.year = 1900 + years;
        return true;
    }
    return count == 4 && c.digits(4, out.year);
}

// '+' or '-', hours (one digit before ':' or ' ', else two), an optional ':',
// minutes.
bool read_zone_offset(Cursor& c, DateText& out) {
    const char sign = c.peek();
    if (sign != '+' && sign != '-') return true;
    ++c.p;
    int hours = 0;
    const char after = c.peek(1);
    if (!c.digits(c.digit_at(0) && (after == ':' || after == ' ') ? 1 : 2, hours)) return false;
    c.skip_blanks();
    c.take(':');
    int minutes = 0;
    if (!c.one_or_two_digits(minutes)) return false;
    out.zone_named = true;
    out.zone_minutes = (sign == '-' ? -1 : 1) * (hours * 60 + minutes);
    return true;
}

bool read_word_form(Cursor& c, DateText& out) {
    if (c.digit_at(0)) {
        // A text that begins with the day: the day, then the month word.
        if (!read_day(c, " ", out.day)) return false;
        c.skip_blanks();
        if (!read_month_word(c, out)) return false;
    } else {
        const char* start = c.p;
        int word = read_word(c);
        if (word < 0) return false;
        if (word == WEEKDAY) {
            skip_blanks_and_comma(c);
            if (!read_day_and_month(c, out)) return false;
        } else {
            c.p = start;
            if (!read_month_word(c, out)) return false;
            c.skip_blanks();
            if (!read_day(c, " ,", out.day)) return false;
        }
    }
    skip_blanks_and_comma(c);
    if (!read_word_form_year(c, out)) return false;
    skip_blanks_and_comma(c);
    if (!read_time_of_day(c, out) || !read_fraction(c, out)) return false;
    c.skip_blanks();
    if (c.end - c.p >= 3 && (std::memcmp(c.p, "GMT", 3) == 0 || std::memcmp(c.p, "UTC", 3) == 0)) {
        c.p += 3;
        out.zone_named = true;
    }
    c.skip_blanks();
    if (!read_zone_offset(c, out)) return false;
    c.skip_blanks();
    return c.at_end();
}

}  // namespace

int parse_date_text(const char* text, size_t length, DateText& out) {
    out = DateText{};
    Cursor c{text, text + length};
    while (!c.at_end() && (*c.p == ' ' || *c.p == '\t' || *c.p == '\r' || *c.p == '\n')) ++c.p;
    const bool numeric = c.digit_at(0) && c.digit_at(2);
    if (numeric ? !read_numeric(c, out) : !read_word_form(c, out)) return numeric ? NUMERIC_REJECTED : WORD_REJECTED;
    if (out.year - 1900 < 70 || out.month < 1 || out.day < 1) return BEFORE_1970;
    return 0;
}

}  // namespace tolv
