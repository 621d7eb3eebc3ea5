// String.fromCharCode and String.fromCodePoint.
#pragma once

namespace tolv {

void install_string_statics();

}  // namespace tolv
