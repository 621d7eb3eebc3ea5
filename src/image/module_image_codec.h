// The dictionary compression of module images: zero runs (R n), two, three
// and four zero bytes (Z2, Z3, Z4), and dictionary codes that stand for a
// byte with zeros before or after it (fixed run lengths for the first F
// entries, a run byte after the code for the others).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tolv {

// Decodes `in` (dictionary header, then the coded bytes) into `out` of
// `capacity` bytes. Returns false when the data is malformed: a header or a
// code's operand past the end of `in`, or output beyond `capacity`.
bool decode_image_stream(const uint8_t* in, size_t in_length, uint8_t* out, size_t capacity, size_t* out_length);

// Codes `stream`; empty when coding does not make it smaller or no codes
// are free for it. The result always decodes back to `stream`.
std::vector<uint8_t> encode_image_stream(const std::vector<uint8_t>& stream);

}  // namespace tolv
