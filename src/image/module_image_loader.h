// Loading compiled module images (.jo) into the heaps.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tolv {

// Loads the image bytes of `file_name` as module `module`: the heap floors
// are set, the cells and pages copied to fresh blocks and pages from the
// floors, names entered (the image's table replaces a freshly seeded one),
// handles, names and area references relocated, globals declared and the
// initialiser statements appended. The image is untrusted: anything that
// does not fit its own buffers or the heaps raises the parse error 1168, and
// an image past the heap limits raises 1435.
void load_module_image(const uint8_t* data, size_t size, uint32_t module, const char* file_name);

}  // namespace tolv
