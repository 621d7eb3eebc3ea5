// The debugger protocol's texts, apart from any socket: length headers,
// command bodies, the tables that come with a module, base64 images.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace tolv {

// The parts one after another (texts of the protocol are built from pieces).
std::string joined(std::initializer_list<std::string_view> parts);

// 'A' + number of digits of `length`, then the digits.
std::string length_header(size_t length);

// The lines of a breakpoint list: each number followed by ':' ("12:40:").
// Entries that are not numbers are passed over.
void parse_line_list(std::string_view text, std::vector<uint32_t>& lines);

// Entries of a trace point or condition list: a line number, ':', a text and
// ';'; one separator character after each ';' is skipped. An entry whose line
// is not a number gets line 0 (it never matches).
struct LineText {
    uint32_t line;
    std::string text;
};
void parse_entry_list(std::string_view text, std::vector<LineText>& entries);

// "path:rest" of the B, b and T commands.
bool split_path(std::string_view body, std::string_view& path, std::string_view& rest);

// An E command after its letter: path ":" function ":" line ":" column ";" expression.
struct EvalCommand {
    std::string_view path;
    std::string_view function;
    std::string_view expression;
};
bool parse_eval_command(std::string_view body, EvalCommand& out);

// A module's tables payload: trace points up to "###", breakpoint lines up to
// "$$$", condition breakpoints after it; a list that is not empty starts with
// one character that is skipped.
struct ModuleTableTexts {
    std::string_view traces;
    std::string_view lines;
    std::string_view conditions;
};
ModuleTableTexts split_module_tables(std::string_view payload);

// A reply that says "not available": it begins with "&&&&".
inline bool is_unavailable(std::string_view text) { return text.substr(0, 4) == "&&&&"; }

// Standard base64; '=' (or the end) ends the data. Blanks and line breaks are
// passed over. False on any other character outside the alphabet.
bool decode_base64(std::string_view text, std::vector<uint8_t>& out);

}  // namespace tolv
