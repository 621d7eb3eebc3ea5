// Every numbered error by name: its code and its message format, generated
// from error_table.def, and ErrorForm, which checks at compile time that a
// raise passes what the row's format takes.
#pragma once

#include <cstdint>

#include "runtime/error_format_check.h"

namespace tolv {

// Message texts that several codes share, each typed once.
namespace error_text {
#define T(name, text) inline constexpr char name[] = text;
#define E(name, code, text)
#include "runtime/error_table.def"
#undef T
#undef E
}  // namespace error_text

enum class Error : uint16_t {
#define T(name, text)
#define E(name, code, text) name,
#include "runtime/error_table.def"
#undef T
#undef E
};

struct ErrorRow {
    int code;
    const char* format;
};

namespace error_text {
inline constexpr ErrorRow ROWS[] = {
#define T(name, text)
#define E(name, code, text) {code, text},
#include "runtime/error_table.def"
#undef T
#undef E
};
}  // namespace error_text

inline constexpr const ErrorRow& error_row(Error e) { return error_text::ROWS[size_t(e)]; }
inline constexpr size_t ERROR_ROW_COUNT = sizeof error_text::ROWS / sizeof error_text::ROWS[0];

// Never defined: a raise whose arguments do not suit its row's format calls
// it during constant evaluation, which makes the compiler name it.
void raise_arguments_do_not_match_the_error_format();

// An error row, checked when built (from `Error::NAME`, at compile time) to
// take arguments of types Args. Tables may hold one to raise later.
template <class... Args>
struct ErrorForm {
    consteval ErrorForm(Error e) : error(e) {
        if (!error_format::accepts<Args...>(error_row(e).format)) raise_arguments_do_not_match_the_error_format();
    }
    Error error;
};

}  // namespace tolv
