// Collections and databases: drop, rename, list, create, test; and commands
// sent to the server as they are.
#pragma once

namespace tolv {

void install_administration_statements();

}  // namespace tolv
