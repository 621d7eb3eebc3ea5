// Integer expressions evaluated again and again: the translated steps must
// give what walking the cells gives, whatever the values turn into between
// runs, and hand every error back to the evaluator with its position.
#include "eval/script_fixture.h"

namespace tolv::tests {
namespace {

TEST_F(ScriptTest, TranslatedExpressionsFollowTheirValues) {
    const ScriptCase cases[] = {
        // A variable becomes a Float, a String, an Integer again.
        {"function f() { var a = [1, 2, 3]; var out = ''; var x = 5; for (var i = 0; i < 6; i++) { "
         "if (i == 2) x = 2.5; if (i == 3) x = '7'; if (i == 4) x = 9; out += (x * 2 + a[i % 3]) + ','; } "
         "console.log(out); } f();",
         "11,12,8.0,15,20,21,\n", ""},
        // An element becomes a Float for a while (the steps give up many
        // times), then an Integer again; a row becomes a String.
        {"function f() { var s = 0; var e = [1, 2, 3]; for (var k = 0; k < 200; k++) { if (k == 100) e[1] = 2.5; "
         "if (k == 150) e[1] = 20; s = s + e[k % 3] * 2; } var m = [[1, 2], [3, 4]]; var t = 0; "
         "for (var j = 0; j < 4; j++) { if (j == 2) m[1] = 'ab'; t = t + m[j % 2][1]; } console.log(s, ' ', t); } f();",
         "1427.0 8b\n", ""},
        // A caller's local of a global's name is not the callee's; a block's
        // `let` hides the loop's variable; a global is assigned.
        {"var g = 10; var total = 0; function f() { return g * 2 + 1; } function h() { var g = 1; return f() + g; } "
         "function k() { for (var i = 0; i < 100; i++) total = total + i * 2; } "
         "function b() { var s = 0; var x = 3; for (var i = 0; i < 3; i++) { s = s + x * 2; { let x = 100; "
         "s = s + x * 2; } } return s; } k(); console.log(h(), ' ', total, ' ', b());",
         "22 9900 618\n", ""},
        // A value another variable took keeps its number.
        {"function f() { var t = 5000; var u = 0; for (var j = 0; j < 3; j++) { u = t; t = t + 1; } "
         "console.log(u, ',', t); } f();",
         "5002,5003\n", ""},
        // Elements and globals assigned: an element another variable took,
        // a global not declared before, an index past the end, a constant
        // Array, a String element.
        {"var shared = 0; function f() { var a = [1, 2, 3]; var m = [[1, 2], [3, 4]]; var keep = 0; "
         "var h = [5000, 6000]; for (var i = 0; i < 5; i++) { a[i] = (i + 1) * 1000 + a[0]; "
         "m[i % 2][(i + 1) % 2] = m[i % 2][i % 2] * 3 + i; keep = h[1]; h[1] = h[1] * 2 + 1; "
         "fresh = i * 7 + shared; shared = shared * 2 + i; } "
         "console.log(a, ' ', m, ' ', keep, ' ', h, ' ', fresh, ' ', shared); "
         "var b = [1, 2]; b[5] = b[0] * 2 + 1; console.log(b.length, ' ', b[5], ' ', typeof b[3]); "
         "const c = [7, 8]; c[1] = c[0] * 2 + 1; var s = ['x', 'y']; s[0] = s[0] + 1; console.log(c, ' ', s); } f();",
         "[1001,3001,4001,5001,6001] [[1,7],[15,4]] 96015 [5000,192031] 39 26\n3 3 undefined\n[7,15] [\"x1\",\"y\"]\n",
         ""},
        // Entries of objects read and written: kinds that change, entries
        // added on the way, `length` of each kind (a Hash's count even when
        // it has an entry of that name), a field that is not there.
        {"function Acc(n) { this.bal = n; this.cnt = 0; this.items = [1, 2, 3]; this.sub = {v: 5000}; } "
         "function f() { var a = new Acc(10); var h = {x: 1}; var s = 'hello'; var out = ''; "
         "for (var i = 0; i < 6; i++) { a.bal = a.bal * 2 + i; "
         "a.cnt = a.cnt + a.items[i % 3] + a.items.length + s.length; a.sub.v = a.sub.v + a.bal % 7; "
         "if (i == 2) a.items = [7, 8, 9, 10]; if (i == 3) a.bal = 2.5; if (i == 4) { a.bal = 7; h.y = 3; } "
         "out += (h.x + a.cnt * 2) + ','; h.x = h.x + (h.length + 1); } "
         "var w = {length: 5, z: 1}; var q = {}; for (var j = 0; j < 3; j++) q.n = j * 2 + 1; "
         "console.log(a.bal, ' ', a.cnt, ' ', a.sub.v, ' ', out, ' ', h.x, ' ', w.length + 1, ' ', q.n); "
         "var r = [{p: 1}, {p: 2}]; for (var t = 0; t < 4; t++) r[t % 2].p = r[t % 2].p * 10 + t; console.log(r); "
         "var u = h.nothing * 2; } f();",
         "19 81 5022.0 19,41,65,99,135,174, 15 3 5\n[{'p':102},{'p':213}]\n", "2310"},
        // Compound assignments on variables, elements and entries, a String
        // and a Float met on the way, a value another variable took.
        {"var G = 5; function f() { var s = 0; var a = [1, 2, 3, 4]; var o = {n: 1, m: 2}; var str = 'a'; "
         "var fl = 1; var keep = 0; var big = 5000; for (var i = 0; i < 8; i++) { s += a[i % 4] * 2; "
         "a[i % 4] += i; a[(i + 1) % 4] *= 2; o.n -= i - 3; o.m |= i; o.m ^= 1; str += i; G *= 3; G %= 1000; "
         "if (i == 3) fl = 1.5; fl += i; keep = big; big += 1; s &= 4095; } "
         "console.log(s, ' ', a, ' ', o, ' ', str, ' ', G, ' ', fl, ' ', keep, ' ', big); } f();",
         "138 [12,15,22,29] {n:-3,m:6} a01234567 805 26.5 5007 5008\n", ""},
        {"function f() { const K = 3; for (var i = 0; i < 3; i++) K += i * 2; } f();", "", "2245"},
        {"function f() { var z = 10; for (var j = 3; j >= 0; j--) z /= j * 1; } f();", "", "2330"},
        {"function f() { var u = {}; for (var j = 0; j < 3; j++) u.q += j * 2; } f();", "", "2255"},
        // Code made at run time: its cells are freed and their places taken
        // by other expressions.
        {"function f() { var r = ''; var z = 0; for (var n = 0; n < 12; n++) { "
         "eval(n % 2 ? 'z = n * 3' : 'z = (n + 100) % 7 - n'); r += z + ','; } console.log(r); } f();",
         "2,3,2,9,2,15,-5,21,-5,27,-5,33,\n", ""},
        {"var r = ''; for (var n = 0; n < 8; n++) r += eval(n % 2 ? 'n * 3 > 10' : 'n * 5 < 12') + ','; "
         "console.log(r);",
         "true,false,true,false,false,true,false,true,\n", ""},
        // Errors met after many good runs.
        {"function f() { var d = [4, 2, 1, 0]; var q = 0; for (var i = 0; i < 4; i++) q = q + (i + 1) * (8 / d[i]); } f();",
         "", "2330"},
        {"function f() { const k = 1; var z = 0; for (var i = 0; i < 3; i++) { z = i + 1; k = z * 2; } } f();", "",
         "2320"},
        {"function f() { var a = [1, 2]; var s = 0; for (var i = 0; i < 3; i++) s = s + a[i] * 2; } f();", "", "2310"},
        {"function f() { var s = 0; for (var i = 3; i > -2; i--) s = s + (1 << i); } f();", "", "2275"},
    };
    check(cases);
}

TEST_F(ScriptTest, TranslatedExpressionErrorsKeepTheirPositions) {
    ScriptOutcome r = run(
        "function f() {\n"
        "  var d = [4, 2, 1, 0]; var q = 0;\n"
        "  for (var i = 0; i < 4; i++) {\n"
        "    q = q + (i + 1) * (8 / d[i]);\n"
        "  }\n"
        "}\n"
        "f();\n");
    EXPECT_EQ(r.error_code, "2330");
    // The index read last before the division, as the cells report it.
    EXPECT_NE(r.error_message.find(":4:29)"), std::string::npos) << r.error_message;
}

}  // namespace
}  // namespace tolv::tests
