// Operators and their typing rules, run from script text.
#include "eval/script_fixture.h"

namespace tolv::tests {
namespace {

TEST_F(ScriptTest, ArithmeticKeepsIntegersAndSwitchesToFloat) {
    const ScriptCase cases[] = {
        {"console.log(1 + 2, ' ', typeof (1 + 2));", "3 number\n", ""},
        {"console.log(1 + 2.5);", "3.5\n", ""},
        {"console.log('a' + 1.5);", "a1.5\n", ""},
        {"console.log(1.0 + 'a');", "1.0a\n", ""},
        {"console.log(true + 'x', ' ', true + true);", "truex truetrue\n", ""},
        {"console.log(1 + 2 + 'a' + 1 + 2);", "3a12\n", ""},
        {"console.log('3' * 2);", "6\n", ""},
        {"console.log('3.0' * 2);", "6.0\n", ""},
        {"console.log(7 / 2, ' ', 7.0 / 2);", "3 3.5\n", ""},
        {"console.log(-7 % 3, ' ', 7 % -3);", "2 -2\n", ""},
        {"console.log(10 - 2 + 3, ' ', 12 / 2 * 3, ' ', 10 - 2 - 3);", "5 2 5\n", ""},
        {"console.log(2 ** 3 ** 2, ' ', 2 ** 0.5 > 1.41);", "512 true\n", ""},
        {"console.log(2147483647 + 1);", "-2147483648\n", ""},
        {"console.log(1 & 3 & 5, ' ', 1 | 2 | 4, ' ', 6 ^ 3);", "1 7 5\n", ""},
        {"console.log(1 << 33, ' ', -8 >> 1, ' ', -1 >>> 28, ' ', -1 >>> 32, ' ', -1 >>> 0);",
         "2 -4 15 0 -1\n", ""},
        {"console.log(~5);", "-6\n", ""},
        {"var s = 'ab'; s += 1; s += 'c'; s += 2.5; console.log(s);", "ab1c2.5\n", ""},
        {"var n = 1; n += 2.5; console.log(n); var m = 2; m += 'x'; console.log(m);", "3.5\n2x\n", ""},
        {"var x = 10; x -= 3; x *= 2; x /= 4; x %= 2; console.log(x);", "1\n", ""},
        {"var b = 12; b &= 10; b |= 1; b ^= 3; console.log(b);", "10\n", ""},
        {"var i = 1; var j = i++; var k = ++i; console.log(i, ' ', j, ' ', k); i--; --i; console.log(i);", "3 1 3\n1\n", ""},
        {"var f = 1.5; f++; console.log(f);", "2.5\n", ""},
        {"x = y = 3; console.log(x, ' ', y);", "3 3\n", ""},
        {"console.log(Integer('12.7'), ' ', Integer('-12.7'), ' ', Float(2), ' ', Integer());", "12 -12.7 2.0 0\n",
         ""},
        {"console.log(Number('42') + 1, ' ', Number('1.5'), ' ', String(12) + 'x');", "43 1.5 12x\n", ""},
    };
    check(cases);
}

TEST_F(ScriptTest, OperatorTypeErrors) {
    const ScriptCase cases[] = {
        {"var a = 'x' * 2;", "", "2305"},
        {"var a = [1] * 2;", "", "2310"},
        {"var a = 7 / 0;", "", "2330"},
        {"var a = 7.5 / 0.0;", "", "2330"},
        {"var a = [1] + 1;", "", "2240"},
        {"var a = 1 + null;", "", "2240"},
        {"var a = 1.5 & 1;", "", "2257"},
        {"var a = 1 & 1.5;", "", "2260"},
        {"var a = 1 << 'a';", "", "2270"},
        {"var a = 1 << -1;", "", "2275"},
        {"var a = ~'a';", "", "2280"},
        {"var h = {}; h += 1;", "", "2255"},
        {"var n = 1; n &= 'a';", "", "2285"},
        {"var n = 'a'; n |= 1;", "", "2295"},
        {"var s = 'a'; s++;", "", "2205"},
        {"var s = 'a'; --s;", "", "2235"},
        {"var a = Number('12abc');", "", "2335"},
        {"var a = Number('.5.5');", "", "2335"},
        {"{ const c = 1; c = 2; }", "", "2320"},
        {"{ const c = 1; c += 2; }", "", "2245"},
        {"{ const c = 1; c -= 2; }", "", "2315"},
        {"{ const c = 1; c++; }", "", "2200"},
        // Each form of step has its own pair of errors: a constant, then anything not a number.
        {"{ const c = 1; var t = ++c; }", "", "2210"},
        {"var s = 'a'; var t = ++s;", "", "2215"},
        {"{ const c = 1; c--; }", "", "2220"},
        {"var s = 'a'; s--;", "", "2225"},
        {"{ const c = 1; --c; }", "", "2230"},
    };
    check(cases);
}

TEST_F(ScriptTest, ComparisonAndEquality) {
    const ScriptCase cases[] = {
        {"console.log('10' == 10, ' ', 'abc' == 10, ' ', ' 10' == 10, ' ', 'abc' != 10);", "true false true true\n",
         ""},
        {"console.log('b' > 'a', ' ', 'ab' < 'abc', ' ', 'é' > 'z');", "true true true\n", ""},
        {"console.log([] == [], ' ', null <= null, ' ', null < null, ' ', undefined == null);",
         "false true true false\n", ""},
        {"console.log(1 === 1.0, ' ', 1 == 1.0, ' ', 'ab' === 'ab', ' ', 2 !== 2);", "false true true false\n", ""},
        {"console.log(1 < 2.5, ' ', 3 >= 3, ' ', 2.5 <= 2);", "true true false\n", ""},
        {"console.log('a' && 'b', ' ', 0 || '', ' ', !'', ' ', !0.0, ' ', ![]);", "true false true true true\n", ""},
        {"console.log(NaN ? 1 : 2, ' ', [] ? 1 : 2, ' ', {} ? 1 : 2, ' ', [0] ? 1 : 2);", "2 2 2 1\n", ""},
        {"console.log(1 ? 2 : 3 ? 4 : 5, ' ', 0 ? 2 : 0 ? 4 : 5);", "2 5\n", ""},
        {"console.log(typeof null, ' ', typeof NaN, ' ', typeof undefined, ' ', typeof true, ' ', typeof 'a');",
         "object symbol undefined boolean string\n", ""},
        {"console.log(typeof 1.5, ' ', typeof [], ' ', typeof {}, ' ', typeof function () {});",
         "number object object function\n", ""},
        {"console.log(1 instanceof Number, ' ', 'a' instanceof String, ' ', [] instanceof Array, ' ', {} instanceof "
         "Hash, ' ', 1 instanceof Object, ' ', 1 instanceof String);",
         "true true true true true false\n", ""},
    };
    check(cases);
}

// `=` and `-= *= /= %= &= |= ^=` evaluate the value first, then the target;
// `+=` reads the target first. Numbers and strings updated where they stand
// must give the same results when the value expression reassigns, releases
// or grows the target, and program literals must stay as written.
TEST_F(ScriptTest, CompoundAssignmentOrder) {
    const ScriptCase cases[] = {
        // Plain names: small, literal and computed numbers; literal and computed strings.
        {"var y = 1; y += (y = 5); console.log(y);", "6\n", ""},
        {"var y = 1000; y += (y = 5); console.log(y);", "1005\n", ""},
        {"var y = 1000 * 300; y += (y = 5); console.log(y);", "300005\n", ""},
        {"var y = 1000 * 300; var r = (y += (y = y + 1)); console.log(y, ' ', r);", "600001 600001\n", ""},
        {"var n = 2000 * 2; n += (n += 1); console.log(n);", "8001\n", ""},
        {"var s = 'ab'; s += (s = 'cd'); console.log(s);", "abcd\n", ""},
        {"var s = 'a' + 'b'; s += (s = 'cd'); console.log(s);", "abcd\n", ""},
        {"var s = 'a' + 'b'; s += (s += 'x'); console.log(s);", "ababx\n", ""},
        {"var f = 1.5; f += (f = 2); console.log(f);", "3.5\n", ""},
        {"var x = 10; x -= (x = 3); console.log(x);", "0\n", ""},
        {"var x = 10; x -= (x = x * 3, 5); console.log(x);", "25\n", ""},
        {"var x = 10; x *= (x = 3); console.log(x);", "9\n", ""},
        {"var x = 12; x /= (x = 3); console.log(x);", "1\n", ""},
        {"var x = 10; x %= (x = 4); console.log(x);", "0\n", ""},
        {"var x = 1000 * 12; x -= (x = 7000, 1); console.log(x);", "6999\n", ""},
        {"var x = 12; x &= (x = 10); console.log(x);", "10\n", ""},
        {"var x = 12; x |= (x = 3); console.log(x);", "3\n", ""},
        {"var x = 12; x ^= (x = 5); console.log(x);", "0\n", ""},
        // Locals and parameters holding Integers: literal, small, computed and
        // shared values, a value that reassigns, re-types or steps the target,
        // a float or string value, and the wrap at the edge of the range.
        {"function f() { var y = 1000 * 300; y += (y = 5); return y; } console.log(f(), ' ', f());",
         "300005 300005\n", ""},
        {"function f() { var y = 1000; y += (y = y + 1, 2); return y; } console.log(f(), ' ', f());",
         "1002 1002\n", ""},
        {"function f(n) { n += (n += 1); return n; } console.log(f(2000 * 2), ' ', f(3));", "8001 7\n", ""},
        {"function f(n) { var r = (n += (n = 'q', 1)); return r + ' ' + n; } console.log(f(4000 * 2));",
         "8001 8001\n", ""},
        {"function f(n) { var m = n; n += 1; return n + ' ' + m; } console.log(f(500 * 3));", "1501 1500\n", ""},
        {"function f(n) { var k = n; n += (k += 1, 2); return n + ' ' + k; } console.log(f(700 * 3));",
         "2102 2101\n", ""},
        {"function f(n) { n += 0.5; return n; } console.log(f(1000 * 3));", "3000.5\n", ""},
        {"function f(n) { n += 'x'; return n; } console.log(f(1000 * 3), ' ', 1000 * 3);", "3000x 3000\n", ""},
        {"function f(n) { n += 1; return n; } console.log(f(2147483647), ' ', f(-2147483647 - 1));",
         "-2147483648 -2147483647\n", ""},
        {"function f(n) { n += (n = 2.5, 1); return n; } console.log(f(1000 * 3));", "3001\n", ""},
        // Members and indexes.
        {"var h = {a: 1}; h.a += (h.a = 5); console.log(h.a);", "6\n", ""},
        {"var h = {a: 'p'}; h.a += (h.a = 'q'); console.log(h.a);", "pq\n", ""},
        {"var h = {a: 10}; h.a -= (h.a = 3); console.log(h.a);", "0\n", ""},
        {"var h = {a: 12}; h.a &= (h.a = 10); console.log(h.a);", "10\n", ""},
        {"var h = {a: 1}; h.a += (h.b = 2, h.c = 3, 10); console.log(h);", "{a:11,b:2,c:3}\n", ""},
        {"var a = [1]; a[0] += (a[0] = 5); console.log(a);", "[6]\n", ""},
        {"var a = [10]; a[0] *= (a[0] = 3); console.log(a);", "[9]\n", ""},
        {"var a = ['x']; a[0] += (a[1] = 'y'); console.log(a);", "[\"xy\",\"y\"]\n", ""},
        // The value expression releases the target's container.
        {"var a = [1000 * 200]; var r = (a[0] += (a = [7], 1)); console.log(r, ' ', a);", "200001 [7]\n", ""},
        {"var h = {a: 'x' + 'y'}; var r = (h.a += (h = {}, 'z')); console.log(r, ' ', h.a);", "xyz undefined\n",
         ""},
        // Shared values are never changed where they stand.
        {"var n = 500 * 3; var m = n; n += 1; console.log(n, ' ', m);", "1501 1500\n", ""},
        {"var n = 500 * 3; var m = n; n -= 1; console.log(n, ' ', m);", "1499 1500\n", ""},
        {"var s = 'a' + 'b'; var t = s; s += 'c'; console.log(s, ' ', t);", "abc ab\n", ""},
        // Program literals keep their values from one call to the next.
        {"function f() { var y = 1000; y += (y = 5); var s = 'ab'; s += (s = 'cd'); return y + s; }"
         " console.log(f(), ' ', f());",
         "1005abcd 1005abcd\n", ""},
    };
    check(cases);
}

// Integer results at the 32-bit edges wrap, as the Part's 32-bit arithmetic does.
TEST_F(ScriptTest, IntegerEdges) {
    const ScriptCase cases[] = {
        {"var x = 2147483646; x = x + 1; console.log(x);", "2147483647\n", ""},
        {"var x = 2147483391; x = x + 1; console.log(x, ' ', x + 255);", "2147483392 2147483647\n", ""},
        {"var x = 2147483647; x++; console.log(x);", "-2147483648\n", ""},
        {"var x = 2147483647; x += 1; console.log(x);", "-2147483648\n", ""},
        {"var m = -2147483647 - 1; console.log(m, ' ', ~m, ' ', m - 1, ' ', m + -1);",
         "-2147483648 2147483647 2147483647 2147483647\n", ""},
        {"var m = -2147483647 - 1; m--; console.log(m);", "2147483647\n", ""},
        {"var m = -2147483647 - 1; --m; console.log(m);", "2147483647\n", ""},
        {"var m = -2147483647 - 1; m -= 1; console.log(m);", "2147483647\n", ""},
        {"var M = 2147483647; var m = 0 - M - 1; console.log(m % M, ' ', M % m, ' ', m % -1, ' ', m / -1);",
         "2147483646 -1 0 -2147483648\n", ""},
        {"var M = 2147483647; console.log(M * M, ' ', M * 2, ' ', ~M, ' ', M - -1);",
         "1 -2 -2147483648 -2147483648\n", ""},
        {"var x = -257; x = x + 1; console.log(x, ' ', x + 1280, ' ', x + 1279);", "-256 1024 1023\n", ""},
    };
    check(cases);
}

// Nested Integer arithmetic makes no cell per step, and an assignment may
// write a number into the cell its target alone owns: no other holder of
// that number (a copy, an array element, an operand waiting) may see it change.
TEST_F(ScriptTest, IntegersUpdatedInPlaceStayUnshared) {
    const ScriptCase cases[] = {
        {"var s = 5000; s = s + 1; var a = [s, s = 7]; console.log(a[0], ',', a[1], ',', s);", "5001,7,7\n", ""},
        {"var t = 4000; t = t * 2; var u = t; t = t + 1; console.log(u, ',', t);", "8000,8001\n", ""},
        {"var r = 5000; r = r - 1; console.log(r + (r = 3), ',', r);", "5002,3\n", ""},
        {"var e = 5000; e = e * 1; var held = [e]; e = e + 1; e -= 2; e |= 1; console.log(held[0], ',', e);",
         "5000,4999\n", ""},
        {"var arr = [1000, 2000]; arr[1] = arr[1] * 3; var keep = arr[0]; arr[0] = arr[0] + 7; "
         "console.log(arr[0], ',', arr[1], ',', keep);",
         "1007,6000,1000\n", ""},
        {"var o = {n: 5000}; o.n = o.n * 2; var c = o.n; o.n = o.n + 1; console.log(o.n, ',', c);", "10001,10000\n", ""},
        {"var g = 70000; function bump() { g = g + 3; } var before = g; bump(); bump(); console.log(before, ',', g);",
         "70000,70006\n", ""},
        {"function f(p) { p = p * 2; return p; } var v = 30000; console.log(f(v), ',', v);", "60000,30000\n", ""},
        // 32-bit wrapping, the remainder's sign, and Floats or Strings met half-way.
        {"var m = 2147483647; m = m + 1; var k = (m - 1) * 3; console.log(m, ',', k);", "-2147483648,2147483645\n", ""},
        {"console.log((7 + 8) * (9 - 2) % 5, ',', -7 % 3, ',', 7 / 2, ',', (1 << 40) + (-1 >>> 28), ',', 5 & 3 | 8 ^ 2);",
         "0,2,3,271,11\n", ""},
        {"var x = 3000; x = x * 2 + '1'; var y = 3000; y = y * 2 + 0.5; var z = 3000; z = z * 2 - '10'; "
         "console.log(x, ',', y, ',', z);",
         "60001,6000.5,5990\n", ""},
        {"var i = 1; var a = [10, 20, 30]; console.log(a[i + 1], a[i * 2 - 2], 'abc'[i + 1], a[i] < a[i + 1]);",
         "3010ctrue\n", ""},
        // Parentheses, loop counters across the end of the shared Integers, and
        // comparisons as conditions.
        {"var s = 0; for (var i = 1020; i < 1030; i++) s = ((s + i) * 3) % 100003; var j = 1030; j--; j--; "
         "console.log(s, ',', i, ',', j);",
         "85002,1030,1028\n", ""},
        {"var p = ((2, 3) + (4)) * ((5)); function f(x) { return x * 2; } var q = (f(3) + 1) * 2; console.log(p, ',', q);",
         "35,14\n", ""},
        {"var n = 0; if ('10' == 10) n += 1; if ('b' > 'a') n += 2; if ('ab' == 'abc') n += 4; if (1 === 1.0) n += 8; "
         "if ('1' !== 1) n += 16; if ('abc' <= 'abd') n += 32; if (2.5 >= 2) n += 64; "
         "var w = 0; while ('a' + w < 'a3') w++; do { w += 10; } while (w != 43); console.log(n, ',', w);",
         "115,43\n", ""},
        // Sums of three and more operands: wrapping at each step, Floats and
        // Strings met part-way, a call that changes an operand already read.
        {"var big = 2147483647; var x = 1; function f() { x = 100; return 2; } var s = 'a'; "
         "console.log(big + 1 + 1, ',', 1 + 2 + 'x' + 1 + 2, ',', 1 + 2 + 0.5 + 1, ',', x + f() + x, ',', "
         "(1 + 2) + (3 * 4) + (-5) + 6, ',', 1 + 2 + s + (3 + 4));",
         "-2147483647,3x12,4.5,103,16,3a7\n", ""},
        {"var q = 1 + 2 + null;", "", "2240"},
        // Elements read as operands: Integers, other kinds, nested arrays, strings, hashes.
        {"var a = [1, 2.5, 'x', [4, 5]]; var m = [[1, 2], [3, 4]]; var i = 1; var h = {k: 7}; "
         "console.log(a[0] + 1, ',', a[i] + 1, ',', a[2] + 1, ',', a[3][i] * 2, ',', m[i][i - 1] - m[0][i], ',', "
         "m[1][0] < m[1][1], ',', 'abc'[i] + 1, ',', h['k'] + 1); "
         "var s = 0; for (var k = 0; k < 2; k++) s = s + m[k][k] + a[3][k]; console.log(s);",
         "2,3.5,x1,10,1,true,b1,8\n14\n", ""},
        {"var a = [1]; var u = a[7] + 1;", "", "2240"},
        // Errors keep their codes and positions.
        {"var d = 7; d = (d + 1) / (d - 7);", "", "2330"},
        {"var d = 7; if (((d + 1) / (d - 7)) > 0) d = 1;", "", "2330"},
        {"var n = null; var bad = (n + 1) * 2;", "", "2240"},
        {"var q = 'x' & 1;", "", "2257"},
        {"var q = (1 + 1) << (1 - 3);", "", "2275"},
        {"var a = [1]; var q = a[0 - 1];", "", "2025"},
        {"{ const K = 10000; K = K * 2; }", "", "2320"},
    };
    check(cases);
}

TEST_F(ScriptTest, ConversionsAndConstructors) {
    const ScriptCase cases[] = {
        {"var a = Array(1, 'b', [2]); console.log(a, ' ', a.length);", "[1,\"b\",[2]] 3\n", ""},
        {"var e = new Error('boom', 42); console.log(e.name, ' ', e.message);", "42 boom\n", ""},
        {"var e = Exception('m'); console.log('[', e.name, ']');", "[]\n", ""},
        {"var e = new Error(1);", "", "2360"},
        {"console.log(new Number(), ' ', new String(), '|', new Integer('7'), ' ', new Float());", "0 |7 0.0\n", ""},
        {"var h = new Hash(); console.log(typeof h, h.length);", "object0\n", ""},
    };
    check(cases);
}

}  // namespace
}  // namespace tolv::tests
