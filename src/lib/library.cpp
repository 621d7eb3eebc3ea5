#include "lib/library.h"

#include "lib/array/array_methods.h"
#include "lib/console.h"
#include "lib/date/date.h"
#include "lib/hash_methods.h"
#include "lib/math_functions.h"
#include "lib/number_functions.h"
#include "lib/regexp/regexp_methods.h"
#include "lib/string/string_methods.h"
#include "lib/string/string_statics.h"
#include "lib/uri_coding.h"

namespace tolv {

void install_library() {
    install_console();
    install_array_methods();
    install_hash_methods();
    install_string_methods();
    install_string_statics();
    install_math_functions();
    install_number_functions();
    install_uri_coding();
    // After the String methods: the pattern methods go into their table.
    install_regexp();
    install_date();
}

}  // namespace tolv
