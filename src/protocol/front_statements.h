// The sendToFront and alertToFront operations of the language.
#pragma once

namespace tolv {

// Installs both operations in the evaluator's keyword table.
void install_front_statements();

}  // namespace tolv
