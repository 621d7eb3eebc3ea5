// The fixed head of a KIND_REGEXP area record. The compiled program that
// follows belongs to the RegExp engine (src/regexp); the runtime and the
// evaluator only need the flags, the last index and the source text.
//
//   byte 0      header (kind 7, reference count)
//   byte 1      flags (REGEXP_FLAG_*)
//   bytes 2-3   number of capturing groups
//   bytes 4-7   last index (signed)
//   bytes 8-11  offset of the compiled program from the record's first byte
//   bytes 12-15 offset of the source text (UTF-8, NUL-terminated)
#pragma once

#include <cstdint>
#include <cstring>

namespace tolv {

constexpr uint32_t REGEXP_HEAD_BYTES = 16;

inline int32_t regexp_last_index(const uint8_t* record) {
    int32_t v;
    std::memcpy(&v, record + 4, 4);
    return v;
}
inline void set_regexp_last_index(uint8_t* record, int32_t v) { std::memcpy(record + 4, &v, 4); }
inline uint32_t regexp_program_offset(const uint8_t* record) {
    uint32_t v;
    std::memcpy(&v, record + 8, 4);
    return v;
}
inline const char* regexp_source(const uint8_t* record) {
    uint32_t v;
    std::memcpy(&v, record + 12, 4);
    return reinterpret_cast<const char*>(record + v);
}

}  // namespace tolv
