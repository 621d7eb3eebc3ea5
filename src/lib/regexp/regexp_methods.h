// RegExp values for scripts: literals, `new RegExp`, the properties and the
// methods exec, test and toString.
#pragma once

#include <cstdint>

#include "regexp/program.h"
#include "runtime/value.h"

namespace tolv {

class SubjectText;

// Plugs the RegExp parts into the parser's literal check, the evaluator's
// hooks and method lists, and the String methods that take a pattern.
void install_regexp();

// The exec result of a match: the matched text, index, input, indices and the
// group texts.
ValueHandle exec_result(const regexp::Program& program, ValueHandle subject, const SubjectText& text,
                        const int32_t* captures);

}  // namespace tolv
