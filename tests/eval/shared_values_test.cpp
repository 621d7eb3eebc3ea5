// Small Integer results are shared cells and hash keys are found by a
// blocked scan: updates must never reach another holder's value, and the
// first pair with a key must win however many pairs precede it. Integer
// arithmetic keeps its results at the edges of the range.
#include "eval/script_fixture.h"

namespace tolv::tests {
namespace {

TEST_F(ScriptTest, UpdatesNeverReachASharedInteger) {
    const ScriptCase cases[] = {
        // Each value a passes through is computed again afterwards.
        {"var a = 2 + 3; var b = 2 + 3; a++; a += 10; a -= 1; a *= 2; "
         "console.log(a, ' ', b, ' ', 2 + 3, ' ', 3 + 3, ' ', 8 + 8, ' ', 10 + 5);",
         "30 5 5 6 16 15\n", ""},
        {"var s = 0; for (var i = 1020; i < 1030; i++) { s += i; } console.log(s, ' ', i, ' ', 1029 + 0);",
         "10245 1030 1029\n", ""},
        {"var n = -250; for (var k = 0; k < 10; k++) { n -= 1; } console.log(n, ' ', -250 - 10, ' ', 0 - 256);",
         "-260 -260 -256\n", ""},
        {"var x = 4 * 2; var arr = [x, x]; arr[0]++; arr[1] += 1; x--; console.log(arr[0], ' ', arr[1], ' ', x, ' ', 4 * 2);",
         "9 9 7 8\n", ""},
        {"var y = 1 + 1; var z = ~y; --y; console.log(y, ' ', z, ' ', ~(1 + 1), ' ', 1 + 1);", "1 -3 -3 2\n", ""},
        {"function f(n) { var c = n % 3; c++; c += n; c |= 8; return c; } console.log(f(1), ' ', f(1), ' ', 1 % 3);",
         "11 11 1\n", ""},
        {"var a = [7, 8]; var l = a.length; l++; console.log(l, ' ', a.length);", "3 2\n", ""},
        // Integer division and remainder at the edges of the range.
        {"var m = -2147483647 - 1; console.log(m / -1, ' ', m % -1, ' ', 7 / -1, ' ', -7 % -1, ' ', -8 / 3, ' ', "
         "-8 % 3, ' ', 8 % -3, ' ', m % 7, ' ', m / 2);",
         "-2147483648 0 -7 0 -2 1 -1 5 -1073741824\n", ""},
        {"var h = {}; var t = 0; for (var i = 0; i < 3; i++) { h['k' + i] = i; } "
         "for (var k in [5, 6, 7]) { t += k; k++; } console.log(t, ' ', h.k2);",
         "3 2\n", ""},
    };
    check(cases);
}

TEST_F(ScriptTest, HashKeysAreFoundAcrossManyPairs) {
    const ScriptCase cases[] = {
        // Keys before, inside and after the blocks of eight, and a missing one.
        {"var h = {}; for (var i = 0; i < 21; i++) { h['k' + i] = i * 10; } "
         "console.log(h.k0, ' ', h.k7, ' ', h.k8, ' ', h.k15, ' ', h.k16, ' ', h['k20'], ' ', h.zz);",
         "0 70 80 150 160 200 undefined\n", ""},
        {"var h = {}; for (var i = 0; i < 20; i++) { h['k' + i] = i; } h.k17 += 100; h['k3']++; "
         "console.log(h.k17, ' ', h.k3, ' ', h.k16);",
         "117 4 16\n", ""},
        // A literal may repeat a key: the first pair is the one read.
        {"var d = {a: 1, b: 2, c: 3, e: 4, f: 5, g: 6, h: 7, i: 8, j: 9, x: 10, x: 11}; console.log(d.x);", "10\n", ""},
        // A method call takes the first pair of that name holding a function.
        {"var o = {a: 1, b: 2, c: 3, e: 4, f: 5, g: 6, h: 7, i: 8, m: 0, j: 9, m: function () { return this.j; }}; "
         "console.log(o.m());",
         "9\n", ""},
    };
    check(cases);
}

}  // namespace
}  // namespace tolv::tests
