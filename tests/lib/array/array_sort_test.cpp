// Array sort: by text, by a script comparator, and by comparators that
// throw, answer oddly or change the array while it is being sorted.
#include "eval/script_fixture.h"

namespace tolv::tests {
namespace {

TEST_F(ScriptTest, SortWithoutComparatorOrdersByText) {
    const ScriptCase cases[] = {
        {"console.log([10, 9, 1].sort());", "[1,10,9]\n", ""},
        {"console.log(['b', 'a', 10, 9, [1], 'B', 'é', 'z'].sort());",
         "[10,9,\"B\",[1],\"a\",\"b\",\"z\",\"é\"]\n", ""},
        {"var a = [2.5, 2, -1, 'x']; console.log(a.sort() === a, ' ', a);", "true [-1,2,2.5,\"x\"]\n", ""},
        {"console.log([].sort(), [1].sort());", "[][1]\n", ""},
        // A value without a text stops the sort before anything moves.
        {"var a = [2, function () {}, 1]; try { a.sort(); } catch (e) { console.log(e.name, ' ', a[0], a[2]); }",
         "2522 21\n", ""},
    };
    check(cases);
}

TEST_F(ScriptTest, SortWithComparator) {
    const ScriptCase cases[] = {
        {"console.log([3, 1, 2].sort(function (a, b) { return a - b; }), "
         "[3, 1, 2].sort(function (a, b) { return b - a; }));",
         "[1,2,3][3,2,1]\n", ""},
        {"console.log([0.3, 0.1, 0.2].sort(function (a, b) { return a - b; }));", "[0.1,0.2,0.3]\n", ""},
        // Equal elements keep their order.
        {"var a = [[1, 'a'], [0, 'b'], [1, 'c'], [0, 'd'], [1, 'e']]; "
         "a.sort(function (x, y) { return x[0] - y[0]; }); console.log(a.join(' '));",
         "[0,b] [0,d] [1,a] [1,c] [1,e]\n", ""},
        // Past the few elements sorted by insertion too: twenty pairs, four keys.
        {"var a = []; for (var i = 0; i < 20; i++) a.push([(i * 7) % 4, i]); "
         "a.sort(function (x, y) { return x[0] - y[0]; }); var s = ''; "
         "for (var j = 0; j < a.length; j++) s += a[j][1] + ' '; console.log(s);",
         "0 4 8 12 16 3 7 11 15 19 2 6 10 14 18 1 5 9 13 17 \n", ""},
        // Answers that are no number count as "equal"; NaN as "less".
        {"console.log(['b', 'a', 'c'].sort(function (x, y) { return 'z'; }), "
         "['b', 'a', 'c'].sort(function (x, y) { return x > y; }));",
         "[\"b\",\"a\",\"c\"][\"b\",\"a\",\"c\"]\n", ""},
        {"console.log([1, 2, 3].sort(function (x, y) { return NaN; }).length);", "3\n", ""},
        {"var a = []; var x = 7; for (var i = 0; i < 2000; i++) { x = (x * 1103 + 12345) % 65536; a.push(x); } "
         "a.sort(function (p, q) { return p - q; }); var ok = a.length == 2000; "
         "for (var j = 1; j < a.length; j++) if (a[j - 1] > a[j]) ok = false; console.log(ok);",
         "true\n", ""},
        {"[2, 1].sort(1);", "", "2545"},
        {"[2, 1].sort(function (a) { return 0; });", "", "2550"},
        {"[2, 1].sort(function (a, b, c) { return 0; });", "", "2550"},
        {"[2, 1].sort(function (a, b) { });", "", "2540"},
        {"[2, 1].sort(function (a, b) { return; });", "", "2540"},
        {"console.log([1].sort(function (a, b) { }));", "[1]\n", ""},
    };
    check(cases);
}

TEST_F(ScriptTest, SortSurvivesComparatorsThatMisbehave) {
    const ScriptCase cases[] = {
        // A throw leaves the array as it was.
        {"var a = [3, 1, 2]; try { a.sort(function (x, y) { throw 'stop'; }); } catch (e) { console.log(e); } "
         "console.log(a);",
         "stop\n[3,1,2]\n", ""},
        {"var a = [3, 1, 2]; var n = 0; "
         "try { a.sort(function (x, y) { if (++n == 3) missing(); return x - y; }); } "
         "catch (e) { console.log(e.name); } console.log(a);",
         "2155\n[3,1,2]\n", ""},
        {"var a = [3, 1, 2]; a.sort(function (x, y) { return; });", "", "2540"},
        // Whatever the comparator did to the array, it ends up holding the
        // sorted elements; elements it appended stay behind them.
        {"var a = [3, 1, 2, 5, 4]; a.sort(function (x, y) { a.pop(); return x - y; }); console.log(a);",
         "[1,2,3,4,5]\n", ""},
        {"var a = [3, 1, 2]; a.sort(function (x, y) { if (a.length < 5) a.push(9); return x - y; }); console.log(a);",
         "[1,2,3,9,9]\n", ""},
        {"var a = ['c' + 1, 'a' + 1, 'b' + 1]; "
         "a.sort(function (x, y) { a[0] = 'z' + 1; a[1] = 'z' + 2; a[2] = 'z' + 3; return x < y ? -1 : 1; }); "
         "console.log(a);",
         "[\"a1\",\"b1\",\"c1\"]\n", ""},
        {"var a = [3, 1, 2]; a.sort(function (x, y) { a.sort(); a.reverse(); return x - y; }); console.log(a);",
         "[1,2,3]\n", ""},
        {"var a = [4, 2, 3, 1]; a.sort(function (x, y) { a.splice(0); return x - y; }); console.log(a);",
         "[1,2,3,4]\n", ""},
        // An inconsistent order still gives a permutation of the elements.
        {"var a = []; for (var i = 0; i < 200; i++) a.push(i); var k = 0; "
         "a.sort(function (x, y) { k = (k * 7 + 3) % 11; return k - 5; }); "
         "var s = 0; for (var j = 0; j < a.length; j++) s += a[j]; "
         "a.sort(function (x, y) { return x - y; }); console.log(a.length, ' ', s, ' ', a[0], ' ', a[199]);",
         "200 19900 0 199\n", ""},
    };
    check(cases);
}

}  // namespace
}  // namespace tolv::tests
