#include "lib/library.h"

#include "lib/console.h"

namespace tolv {

void install_library() {
    install_console();
}

}  // namespace tolv
