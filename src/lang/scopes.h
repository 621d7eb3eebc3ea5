// Where declarations go while a text is parsed: `var` names and named
// functions into the enclosing function's local names (or the global table
// outside functions), `let`/`const` names into the innermost block's range.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tolv {

// A `var` name or a named function: a local of the enclosing function body
// (unless it is a parameter or already listed), else a global.
void declare_variable(uint32_t name);

// A `let`/`const` name; raises 1035 when the innermost block (or, outside
// every block, the function's names and the globals) already has it.
void declare_lexical(uint32_t name, const char* keyword, const char* statement);

// A fresh range of let/const names for one block (or one `for` statement).
class BlockRange {
public:
    BlockRange();
    ~BlockRange();
    BlockRange(const BlockRange&) = delete;
    BlockRange& operator=(const BlockRange&) = delete;

private:
    size_t saved_start_;
    size_t saved_size_;
};

}  // namespace tolv
