// The Array methods on arrays, run as scripts: results, argument rules and
// the errors that come before any change.
#include "eval/script_fixture.h"

namespace tolv::tests {
namespace {

TEST_F(ScriptTest, ArrayGrowsAndShrinksAtBothEnds) {
    const ScriptCase cases[] = {
        {"var a = [1]; console.log(a.push(2, 'x'), ' ', a);", "3 [1,2,\"x\"]\n", ""},
        {"var a = [1, 2]; console.log(a.unshift(8, 9), ' ', a);", "4 [8,9,1,2]\n", ""},
        {"var a = [1, 2, 3]; console.log(a.pop(), a.shift(), ' ', a, ' ', a.length);", "31 [2] 1\n", ""},
        {"var a = []; console.log(typeof a.pop(), ' ', typeof a.shift(), ' ', a.length);", "undefined undefined 0\n",
         ""},
        // A popped value outlives the array's reference to it.
        {"var a = ['x' + 1]; var v = a.pop(); a.push('y' + 2); console.log(v, a);", "x1[\"y2\"]\n", ""},
        {"var a = []; for (var i = 0; i < 5000; i++) a.push(i); var s = 0; "
         "while (a.length > 2500) s += a.pop(); console.log(a.length, ' ', s, ' ', a[2499]);",
         "2500 9373750 2499\n", ""},
    };
    check(cases);
}

TEST_F(ScriptTest, ArraySearchesCompareNumbersAndTexts) {
    const ScriptCase cases[] = {
        {"var a = [1, 2.0, '2']; console.log(a.indexOf(2), ' ', a.indexOf('2'), ' ', a.indexOf(2.0), ' ', "
         "a.indexOf(7));",
         "1 2 1 -1\n", ""},
        {"var a = [1, 2, 3]; console.log(a.indexOf(1, 5), ' ', a.indexOf(3, -1), ' ', a.indexOf(1, -10));",
         "-1 2 0\n", ""},
        {"var a = [5, 1, 5, 1]; console.log(a.lastIndexOf(5), ' ', a.lastIndexOf(5, 1), ' ', "
         "a.lastIndexOf(1, -2));",
         "2 0 1\n", ""},
        {"var a = [NaN, [1]]; console.log(a.includes(NaN), a.includes([1]));", "falsefalse\n", ""},
        {"var a = [1, 'b']; console.log(a.includes('b'), a.includes(1.0), a.includes(1, 1), [].includes(1, 'x'));",
         "truetruefalsefalse\n", ""},
        {"[1].indexOf(true);", "", "2510"},
        {"[1].indexOf([1]);", "", "2510"},
        {"[1].lastIndexOf(null);", "", "2515"},
        {"[1].indexOf(1, '0');", "", "2500"},
        {"[1].includes(1, 0.5);", "", "2500"},
        {"console.log([true].includes(true));", "false\n", ""},
    };
    check(cases);
}

TEST_F(ScriptTest, ArrayTextsAndCombinations) {
    const ScriptCase cases[] = {
        {"console.log([1, 'a', [2, 'b'], 1.5].join(), '|', [1, 2].join(' - '), '|', [].join(), '|');",
         "1,a,[2,b],1.5|1 - 2||\n", ""},
        {"console.log([1, 'a', [2, 'b'], {k: 'v'}].toString(), ' ', [].toString());", "[1,a,[2,b],{'k':\"v\"}] []\n", ""},
        {"[1].join(1);", "", "2525"},
        {"var a = [1]; var b = a.concat([2, 3], [], a); b.push(4); console.log(a, b, [].concat([]));",
         "[1][1,2,3,1,4][]\n", ""},
        {"[1].concat([2], 'x');", "", "2505"},
        {"console.log([1, 2].keys(), [].keys());", "[0,1][]\n", ""},
        {"var a = [1, 2, 3]; console.log(a.reverse(), a, [1, 2, 3, 4].reverse(), [].reverse());",
         "[3,2,1][3,2,1][4,3,2,1][]\n", ""},
    };
    check(cases);
}

TEST_F(ScriptTest, ArraySliceAndSplice) {
    const ScriptCase cases[] = {
        {"var a = [1, 2, 3]; console.log(a.slice(-2), a.slice(2, 1), a.slice(), a.slice(1, 99), a);",
         "[2,3][][1,2,3][2,3][1,2,3]\n", ""},
        // A nested array is copied one level deep: its elements are shared.
        {"var h = {n: 1}; var a = [[h, 2]]; var s = a.slice(0, 1); s[0].push(3); s[0][0].n = 5; "
         "console.log(a, s);",
         "[[{'n':5},2]][[{'n':5},2,3]]\n", ""},
        {"[1].slice('1');", "", "2500"},
        {"var a = [1, 2, 3]; console.log(a.splice(1), a);", "[2,3][1]\n", ""},
        {"var a = [1, 2, 3]; console.log(a.splice(0, 1, 9), a);", "undefined[9,2,3]\n", ""},
        {"var a = [1, 2, 3]; a.splice(1, 1, 'x', 'y', 'z'); console.log(a, a.length);", "[1,\"x\",\"y\",\"z\",3]5\n",
         ""},
        {"var a = [1, 2, 3, 4]; a.splice(-3, 2); console.log(a); a.splice(1, 0, 7); console.log(a);",
         "[1,4]\n[1,7,4]\n", ""},
        {"var a = [1, 2, 3]; a.splice(1, 50); console.log(a); a.splice(0, -1, 5); console.log(a);",
         "[1]\n[5,1]\n", ""},
        {"var a = [1, 2, 3]; a.splice(0, 0);", "", "2535"},
        {"[1, 2].splice(0, '1');", "", "2530"},
        {"[1, 2].splice(1.5);", "", "2500"},
        {"var a = []; for (var i = 0; i < 30; i++) a.splice(0, 0, i); console.log(a.length, ' ', a[0], ' ', a[29]);",
         "30 29 0\n", ""},
    };
    check(cases);
}

TEST_F(ScriptTest, ArrayFillAndCopyWithin) {
    const ScriptCase cases[] = {
        {"var o = {n: 1}; var a = [0, 0, 0].fill(o); a[0].n = 5; console.log(a[2].n, [1, 2, 3, 4].fill(0, 1, -1));",
         "5[1,0,0,4]\n", ""},
        {"console.log([1, 2, 3].fill(9, 5), [1, 2, 3].fill(9, -1));", "[1,2,3][1,2,9]\n", ""},
        {"[1].fill(0, 'a');", "", "2500"},
        {"console.log([1, 2, 3, 4, 5].copyWithin(0, 3), [1, 2, 3, 4, 5].copyWithin(1, 0, 3), "
         "[1, 2, 3].copyWithin(-1, 0));",
         "[4,5,3,4,5][1,1,2,3,5][1,2,1]\n", ""},
        // Each source is read before its own position is overwritten, even
        // when the array held the only reference to it.
        {"var a = ['a' + 1, 'b' + 1, 'c' + 1, 'd' + 1]; a.copyWithin(1, 0); console.log(a);",
         "[\"a1\",\"a1\",\"b1\",\"c1\"]\n", ""},
        // Containers are copied one level deep into their new places.
        {"var a = [[1], 2]; a.copyWithin(1, 0); a[1].push(5); console.log(a);", "[[1],[1,5]]\n", ""},
        {"[1].copyWithin('0');", "", "2500"},
    };
    check(cases);
}

TEST_F(ScriptTest, ArrayMethodListRules) {
    const ScriptCase cases[] = {
        {"[1].whatever();", "", "2570"},
        {"[1].keys(1);", "", "2575"},
        {"[1].pop(0);", "", "2575"},
        {"[1].push();", "", "2575"},
        {"[1].indexOf();", "", "2575"},
        {"[1].join(',', 1);", "", "2580"},
        {"[1].slice(0, 1, 2);", "", "2580"},
        {"[1].fill(0, 0, 1, 1);", "", "2580"},
        {"[1].push_();", "", "2570"},
        {"[1].pus();", "", "2570"},
    };
    check(cases);
}

}  // namespace
}  // namespace tolv::tests
