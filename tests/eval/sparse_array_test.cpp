// An Array written beyond its end becomes an assoc array of the keys written.
#include "eval/script_fixture.h"

namespace tolv::tests {
namespace {

TEST_F(ScriptTest, ArraysWrittenPastTheirEndBecomeAssocArrays) {
    const ScriptCase cases[] = {
        {"var a = []; a[0] = 'x'; a[5] = 'y'; console.log(a.length, ' ', a, ' ', a instanceof Array);",
         "2 [0:\"x\",5:\"y\"] true\n", ""},
        {"var a = []; a[0] = 'x'; a[5] = 'y'; for (k in a) console.log(k, ' ', typeof k);", "0 number\n5 number\n",
         ""},
        {"var a = []; a[0] = 'x'; a[5] = 'y'; for (v of a) console.log(v);", "x\ny\n", ""},
        {"var a = [1, 2]; a[9] = 3; a[4] = 5; a[0] += 10; console.log(a, ' ', a[9], ' ', a[3]);",
         "[0:11,1:2,9:3,4:5] 3 undefined\n", ""},
        // Appending at the end keeps an Array, however far it grows.
        {"var a = []; for (var i = 0; i < 100; i++) a[i] = i; console.log(a.length, ' ', a[99]); a[100] = 'e';"
         " console.log(a.length);",
         "100 99\n101\n", ""},
        // Every variable that holds the array sees the change; so does a hash that holds it alone.
        {"function put(b) { b[3] = 1; } var a = [0]; put(a); console.log(a.length, ' ', a);", "2 [0:0,3:1]\n", ""},
        {"var h = {a: [1]}; h.a[4] = 2; console.log(h.a.length, ' ', h);", "2 {a:[0:1,4:2]}\n", ""},
        {"[1][7] = 2; console.log('ok');", "ok\n", ""},
        {"var a = [1]; a[16000000] = 2; console.log(a.length, ' ', a[16000000]);", "2 2\n", ""},
        {"var a = []; a[16777216] = 1;", "", "2025"},
    };
    check(cases);
}

// Whatever holds the array when it changes form gets the assoc array: other
// containers, a loop, the container of an index being evaluated, a sort and
// its comparator, an operator's left operand, and more holders than a count
// can record.
TEST_F(ScriptTest, EveryHolderSeesTheArrayChangeForm) {
    const ScriptCase cases[] = {
        {"var a = [1]; var h = {x: a}; var l = [a]; a[4] = 2; console.log(h.x.length, ' ', l[0], ' ', h.x === a);",
         "2 [0:1,4:2] true\n", ""},
        {"var a = [1, 2]; for (v of a) { a[7] = v; console.log(v); } console.log(a);", "1\n2\n[0:1,1:2,7:2]\n", ""},
        {"var a = [1, 2]; for (k in a) { a[9] = 0; console.log(k); }", "0\n1\n", ""},
        {"var a = [1, 2, 3]; function f() { a[9] = 1; return 1; } a[f()] = 7; console.log(a);",
         "[0:1,1:7,2:3,9:1]\n", ""},
        {"var a = [1, 2, 3]; function f() { a[9] = 1; return 2; } console.log(a[f()]);", "3\n", ""},
        {"var a = [1, 2]; function f() { a[9] = 1; return 5; } a[0] += f(); console.log(a);", "[0:6,1:2,9:1]\n",
         ""},
        {"var a = [1]; var h = {}; function f() { a[3] = 1; return 'k'; } h[f()] = a; console.log(h);",
         "{k:[0:1,3:1]}\n", ""},
        {"var a = [1, 2]; var b = a; console.log(a == (a[5] = 1, b));", "true\n", ""},
        {"var a = [1, 2]; switch (a) { case 0: break; default: a[4] = 1; console.log(a); }", "[0:1,1:2,4:1]\n",
         ""},
        {"var r = [3, 1, 2]; var s = r.sort(function(x, y) { r[10] = 0; return x - y; }); console.log(s === r, ' ', r);",
         "true [0:3,1:1,2:2,10:0]\n", ""},
        {"var m = [[2], [1]]; m.sort(function(x, y) { x[3] = 0; return x[0] - y[0]; }); console.log(m);",
         "[[1],[0:2,3:0]]\n", ""},
        {"var s = [1]; var rows = []; for (var i = 0; i < 20; i++) rows.push({t: s}); s[6] = 7;"
         " console.log(rows[0].t.length, ' ', rows[19].t[6]);",
         "2 7\n", ""},
    };
    check(cases);
}

// The left operand stays alive while the right one reassigns its variable.
TEST_F(ScriptTest, LeftOperandOutlivesTheRight) {
    const ScriptCase cases[] = {
        {"var s = 'a'; s = s + 'x'; console.log(s + (s = 'b'));", "axb\n", ""},
        {"var n = 100000; n = n + 1; console.log(n * (n = 3));", "300003\n", ""},
        {"var n = 100000; n = n + 1; console.log(n - (n = 3), ' ', n < (n = 200000));", "99998 true\n", ""},
        {"var s = 'q'; s = s + 'r'; console.log(s === (s = 'qr'), ' ', s == (s = 'x'));", "true false\n", ""},
        {"var n = 70000; n = n + 1; console.log(n << (n = 1), ' ', n ** (n = 2));", "140002 1\n", ""},
    };
    check(cases);
}

}  // namespace
}  // namespace tolv::tests
