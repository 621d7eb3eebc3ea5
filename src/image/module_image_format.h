// Layout of a compiled module image (.jo): an 8-byte header (uncompressed
// length L, stored length S; S = L when stored plainly), then a stream of
// sections, each a 32-bit tag, a 32-bit count and its data, ended by the end
// tag or the end of the stream. Positions are (block or page within the
// image) << 16 | word index. Numbers are little-endian.
#pragma once

#include <cstdint>

namespace tolv {

constexpr uint32_t IMAGE_CELLS = 0x1000100;          // count: full blocks << 16 | cells in the last
constexpr uint32_t IMAGE_PAGES = 0x1000200;          // count: full pages << 16 | words in the last
constexpr uint32_t IMAGE_NAMES = 0x1000300;          // count: names
constexpr uint32_t IMAGE_GLOBALS = 0x1000400;        // count: global names
constexpr uint32_t IMAGE_CELL_NAMES = 0x1000500;     // positions in cells holding a name number
constexpr uint32_t IMAGE_CELL_HANDLES = 0x1000600;   // ... a cell handle
constexpr uint32_t IMAGE_CELL_AREAS = 0x1000700;     // ... a class-0 AreaRef
constexpr uint32_t IMAGE_PAGE_NAMES = 0x1000800;     // positions in pages, likewise
constexpr uint32_t IMAGE_PAGE_HANDLES = 0x1000900;
constexpr uint32_t IMAGE_PAGE_AREAS = 0x1000A00;
constexpr uint32_t IMAGE_INITIALISERS = 0x1000B00;   // count: statement handles
constexpr uint32_t IMAGE_END = 0xFFFFFFFF;

constexpr uint32_t IMAGE_HEADER_BYTES = 8;
// Room the decoder may use past the uncompressed length.
constexpr uint32_t IMAGE_DECODE_SLACK = 512;
// Cells and pages that an image may not reach.
constexpr uint32_t IMAGE_CELL_BLOCK_LIMIT = 4094;
constexpr uint32_t IMAGE_LAST_PAGE = 1022;

}  // namespace tolv
