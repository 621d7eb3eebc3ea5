// Compiling a pattern: parse it, write its source back, generate the program.
#include <string>

#include "regexp/code_generator.h"
#include "regexp/pattern_parser.h"
#include "regexp/regexp.h"
#include "regexp/source_writer.h"
#include "regexp/utf16_text.h"

namespace tolv {

using namespace regexp;

void compile_pattern(const uint16_t* units, size_t count, uint8_t flags, const char* text, RaiseFunction raise,
                     CompiledPattern& out) {
    const ParsedPattern pattern = parse_pattern(units, count, text, raise);
    if (pattern.groups >= 0xFFFF) raise_with(raise, Error::REGEXP_TOO_DEEP);
    std::string source;
    write_source(pattern, source);
    generate_program(pattern, flags, source, out);
}

void check_pattern_literal(const char* pattern, size_t pattern_length, const char* flags, size_t flags_length,
                           RaiseFunction raise) {
    const uint8_t bits = parse_regexp_flags(flags, flags_length, raise);
    std::vector<uint16_t> units;
    pattern_units(pattern, pattern_length, units);
    const std::string quoted(pattern, pattern_length);
    CompiledPattern compiled;
    compile_pattern(units.data(), units.size(), bits, quoted.c_str(), raise, compiled);
}

void pattern_units(const char* text, size_t length, std::vector<uint16_t>& out) {
    out.resize(length + 1);
    out.resize(utf8_to_utf16_pairs(text, length, out.data(), length + 1));
}

}  // namespace tolv
