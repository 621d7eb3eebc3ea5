// console.log and console.error.
#pragma once

namespace tolv {

void install_console();

}  // namespace tolv
