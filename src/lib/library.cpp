#include "lib/library.h"

#include "lib/array_methods.h"
#include "lib/console.h"
#include "lib/hash_methods.h"

namespace tolv {

void install_library() {
    install_console();
    install_array_methods();
    install_hash_methods();
}

}  // namespace tolv
