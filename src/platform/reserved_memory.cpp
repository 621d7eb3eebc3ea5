#include "platform/reserved_memory.h"

#include <sys/mman.h>

#include <cstring>

namespace tolv {

uint8_t* reserve_zeroed_memory(size_t bytes) {
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    return p == MAP_FAILED ? nullptr : static_cast<uint8_t*>(p);
}

void rezero_memory(uint8_t* start, size_t bytes) {
    // Private anonymous pages read as zeros after this.
    if (madvise(start, bytes, MADV_DONTNEED) != 0) std::memset(start, 0, bytes);
}

}  // namespace tolv
