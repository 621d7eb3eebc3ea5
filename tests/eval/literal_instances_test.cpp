// Container literals give a new container on every evaluation, constant
// ones included: what a script does to one never shows in the next.
#include "eval/script_fixture.h"

namespace tolv::tests {
namespace {

TEST_F(ScriptTest, ContainerLiteralsAreNewOnEveryEvaluation) {
    const ScriptCase cases[] = {
        {"function mk() { var o = {}; o.n = (o.n ? o.n : 0) + 1; return o.n; } console.log(mk(), ' ', mk());", "1 1\n", ""},
        {"function f() { var a = []; a[a.length] = 1; a.push(2); return a.length; } console.log(f(), ' ', f());", "2 2\n",
         ""},
        {"function g() { var a = [3, [1], {k: 'v'}]; a[1].push(2); a[2].k = 'w'; a.sort(); return a; } "
         "console.log(g(), g());",
         "[3,[1,2],{'k':\"w\"}][3,[1,2],{'k':\"w\"}]\n", ""},
        {"var keep = []; for (var i = 0; i < 3; i++) { var row = [i]; keep.push(row); } console.log(keep);",
         "[[0],[1],[2]]\n", ""},
    };
    check(cases);
}

}  // namespace
}  // namespace tolv::tests
