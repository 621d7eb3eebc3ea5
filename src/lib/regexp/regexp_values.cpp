// RegExp values: compiling a pattern into one, and the subject text a
// search reads.
#include "lib/regexp/regexp_values.h"

#include <cstring>
#include <string>

#include "runtime/errors.h"
#include "runtime/regexp_record.h"
#include "runtime/text.h"
#include "runtime/text_positions.h"

namespace tolv {

using namespace regexp;

// The last text converted, kept for the next call: an exec loop over one
// long text then converts it once, not once per match.
struct LastConversion {
    std::string bytes;
    std::shared_ptr<Utf16Text> units;
};
LastConversion s_last;

std::shared_ptr<Utf16Text> converted(const char* bytes, size_t length) {
    if (s_last.units && s_last.bytes.size() == length && std::memcmp(s_last.bytes.data(), bytes, length) == 0)
        return s_last.units;
    auto units = std::make_shared<Utf16Text>(bytes, length);
    s_last.bytes.assign(bytes, length);
    s_last.units = units;
    return units;
}

void SubjectText::load(ValueHandle string) {
    bytes_ = string_text(string);
    byte_length_ = string_length(string);
    wide_.reset();
    if (!text_is_ascii(string)) wide_ = converted(bytes_, byte_length_);
}

ValueHandle SubjectText::slice(size_t from, size_t to) const {
    const size_t a = byte_at(from), b = byte_at(to);
    return new_string(bytes_ + a, b - a);
}

bool SubjectText::search(const Program& program, size_t start, bool sticky, int32_t* captures) const {
    const MatchRequest request{&program, start, sticky, captures};
    if (wide_) return regexp_search(request, wide_->units(), wide_->size());
    return regexp_search(request, reinterpret_cast<const uint8_t*>(bytes_), byte_length_);
}

ValueHandle compile_regexp(const char* text, size_t length, uint8_t flags, RaiseFunction raise) {
    std::vector<uint16_t> units;
    pattern_units(text, length, units);
    if (units.empty()) raise_with(raise, Error::REGEXP_ENCODING);
    const std::string quoted(text, length);
    CompiledPattern compiled;
    compile_pattern(units.data(), units.size(), flags, quoted.c_str(), raise, compiled);
    const Program& p = compiled.program();

    // The program goes at the first 8-byte boundary after the head.
    uint8_t* record;
    const AreaRef ref = area_alloc(REGEXP_HEAD_BYTES + 8 + image_bytes(p), &record);
    std::memset(record, 0, REGEXP_HEAD_BYTES);
    record[0] = KIND_REGEXP;
    record[1] = flags;
    const uint16_t groups = uint16_t(group_count(p));
    std::memcpy(record + 2, &groups, 2);
    const uintptr_t head_end = reinterpret_cast<uintptr_t>(record + REGEXP_HEAD_BYTES);
    const uint32_t program_at = REGEXP_HEAD_BYTES + uint32_t((8 - head_end % 8) % 8);
    std::memcpy(record + program_at, &p, image_bytes(p));
    const uint32_t source_at =
        program_at + uint32_t(pattern_source(p) - reinterpret_cast<const char*>(&p));
    std::memcpy(record + 8, &program_at, 4);
    std::memcpy(record + 12, &source_at, 4);
    return make_handle(KIND_REGEXP, ref);
}

const Program& regexp_program(ValueHandle regexp) {
    const uint8_t* record = value_ptr(regexp);
    return *reinterpret_cast<const Program*>(record + regexp_program_offset(record));
}

ValueHandle regexp_from_value(ValueHandle value) {
    if (is_regexp(value)) return value;
    if (is_string(value))
        return compile_regexp(string_text(value), string_length(value), 0, eval_fail);
    TextBuffer text;
    text_of(value, text);
    return compile_regexp(text.data(), text.size(), 0, eval_fail);
}

}  // namespace tolv
