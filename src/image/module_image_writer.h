// Writing compiled module images: the module is parsed into empty heaps in
// load mode as module 0, then its cells, class-0 pages, names, globals,
// relocation lists and initialiser statements are written as sections.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tolv {

// Resets the heap, the name table, the globals and the parser, parses
// `text` (comments not yet removed) as module 0 and returns the image.
// Parse errors are raised as usual. `compress` false stores the sections plainly.
std::vector<uint8_t> compile_module_image(const std::string& text, bool compress = true);

// The section stream of what the heaps hold now (they must have started empty).
std::vector<uint8_t> module_image_sections();

// The 8-byte header and the stream, coded when that makes it smaller.
std::vector<uint8_t> pack_module_image(const std::vector<uint8_t>& sections, bool compress);

}  // namespace tolv
