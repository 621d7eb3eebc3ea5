#include "runtime/container_holders.h"

#include <algorithm>

namespace tolv {

namespace {

constexpr uint32_t CELLS_PER_BLOCK = 256;

// False once `out` has enough.
bool scan(Word32* words, uint32_t count, uint32_t stride, ValueHandle value, std::vector<Holder>& out, size_t known,
          size_t enough) {
    for (uint32_t i = 0; i < count; ++i) {
        Word32* word = words + i * stride;
        if (*word != value || std::find(out.begin(), out.begin() + known, Holder{word}) != out.begin() + known)
            continue;
        out.push_back({word});
        if (out.size() >= enough) return false;
    }
    return true;
}

}  // namespace

void find_in_containers(ValueHandle value, std::vector<Holder>& out, size_t enough) {
    const size_t known = out.size();
    if (known >= enough) return;
    // Blocks are zeroed when made and freed cells read 0xFF, so a slot that
    // was never handed out or was freed shows no container kind. The walk
    // starts at the value's own block: its holders were mostly made with it.
    const uint32_t blocks = g_heap.cell_block_capacity;
    const uint32_t first = has_storage(value) && !is_area_kind(kind_of(value)) ? (payload_of(value) >> 8) % blocks : 0;
    for (uint32_t k = 0; k < blocks; ++k) {
        const uint32_t b = (first + k) % blocks;
        const uint8_t* block = g_heap.cell_block[b];
        if (!block) continue;
        for (uint32_t slot = 0; slot < CELLS_PER_BLOCK; ++slot) {
            uint8_t header = block[slot * 16];
            if (header == FREED_CELL) continue;
            ValueHandle cell = (b << 8) | slot;
            switch (header & 15) {
            case KIND_ARRAY: {
                ValueHandle h = make_handle(KIND_ARRAY, cell);
                if (array_length(h) && !scan(array_elements(h), array_length(h), 1, value, out, known, enough)) return;
                break;
            }
            case KIND_HASH: {
                ValueHandle h = make_handle(KIND_HASH, cell);
                if (hash_count(h) && !scan(hash_pairs(h) + 1, hash_count(h), 2, value, out, known, enough)) return;
                break;
            }
            case KIND_ASSOC_ARRAY: {
                ValueHandle h = make_handle(KIND_ASSOC_ARRAY, cell);
                if (assoc_count(h) && !scan(assoc_pairs(h) + 1, assoc_count(h), 2, value, out, known, enough)) return;
                break;
            }
            default:
                break;
            }
        }
    }
}

}  // namespace tolv
