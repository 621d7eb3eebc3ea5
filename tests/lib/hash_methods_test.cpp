// The Hash methods and Object.keys, run as scripts.
#include "eval/script_fixture.h"

namespace tolv::tests {
namespace {

TEST_F(ScriptTest, HashMethodsReadAndWriteEntries) {
    const ScriptCase cases[] = {
        {"var h = {}; h.set('a', 1); h.set('b', 2); h.set('a', 3); console.log(h, ' ', h.keys(), ' ', h.length);",
         "{a:3,b:2} [\"a\",\"b\"] 2\n", ""},
        {"var h = {a: 1}; console.log(h.set('b', 'x'), h.get('a'), h.get('b'), typeof h.get('zz'), "
         "h.has('a'), h.has('never seen before'));",
         "x1xundefinedtruefalse\n", ""},
        {"var h = {a: 1, b: 2, c: 3}; console.log(h.delete('b'), h.delete('b'), h.delete('q'), ' ', h);",
         "truefalsefalse {a:1,c:3}\n", ""},
        {"var h = {a: 1, b: [2]}; h.clear(); console.log(h, h.length, h.keys()); h.set('c', 1); console.log(h);",
         "{}0[]\n{c:1}\n", ""},
        // A String key and the name of the same text are one entry.
        {"var h = {}; h.set('k', 1); h['k'] = 2; h.k = 3; console.log(h.get('k'), h.keys());", "3[\"k\"]\n", ""},
        {"var h = {a: 'x', n: 1, l: [1, 'y']}; console.log(h.toString(), ' ', {}.toString());",
         "{a:\"x\",n:1,l:[1,\"y\"]} {}\n", ""},
        // Values are shared, not copied.
        {"var v = [1]; var h = {}; h.set('v', v); h.get('v').push(2); console.log(v);", "[1,2]\n", ""},
        // An entry value outlives its deletion while something else holds it.
        {"var h = {}; h.set('s', 'a' + 1); var s = h.get('s'); h.delete('s'); h.clear(); console.log(s);", "a1\n", ""},
        {"var h = {}; for (var i = 0; i < 500; i++) h.set('k' + i, i); "
         "console.log(h.length, ' ', h.get('k0'), ' ', h.get('k499'), ' ', h.keys()[250]);",
         "500 0 499 k250\n", ""},
        {"var h = {}; h.set(1, 2);", "", "2425"},
        {"var h = {}; h.get(1.5);", "", "2425"},
        {"var h = {}; h.has([1]);", "", "2425"},
        {"var h = {}; h.delete(2);", "", "2425"},
        {"var h = {}; h.get('');", "", "2425"},
    };
    check(cases);
}

TEST_F(ScriptTest, HashMethodListRulesAndStoredFunctions) {
    const ScriptCase cases[] = {
        {"var h = {}; h.nothing();", "", "2347"},
        {"var h = {}; h.ge('a');", "", "2347"},
        {"var h = {}; h.get();", "", "2450"},
        {"var h = {}; h.set('a');", "", "2450"},
        {"var h = {}; h.keys(1);", "", "2455"},
        {"var h = {}; h.get('a', 1);", "", "2455"},
        // A function stored under a method's name is called instead, with `this`.
        {"var h = {n: 2, get: function (k) { return this.n + k; }}; console.log(h.get(5));", "7\n", ""},
        {"var h = {keys: function () { return 'mine'; }}; console.log(h.keys(), Object.keys(h));",
         "mine[\"keys\"]\n", ""},
        {"var h = {f: function () { }}; console.log(typeof h.f());", "undefined\n", ""},
        // A stored value that is no function leaves the built-in method in place.
        {"var h = {}; h.set('has', 1); console.log(h.has('has'), h.get('has'));", "true1\n", ""},
    };
    check(cases);
}

TEST_F(ScriptTest, HashForEach) {
    const ScriptCase cases[] = {
        {"var h = {a: 1, b: 'x'}; var r = h.forEach(function (v, k, o) { console.log(k, '=', v, ' ', o.length); }); "
         "console.log(typeof r);",
         "a=1 2\nb=x 2\nundefined\n", ""},
        {"var h = {a: 1}; var self = {tag: 'T'}; h.forEach(function (v, k, o) { console.log(this.tag); }, self);",
         "T\n", ""},
        {"var h = {a: 1}; h.forEach(function (v, k, o) { console.log(typeof this); });", "undefined\n", ""},
        // Entries added while the loop runs are visited; the storage may move.
        {"var h = {a: 0}; h.forEach(function (v, k, o) { if (v < 30) o.set('k' + v, v + 1); }); console.log(h.length);",
         "31\n", ""},
        {"var h = {a: 'x' + 1, b: 2}; h.forEach(function (v, k, o) { o.clear(); console.log(v); }); console.log(h);",
         "x1\n{}\n", ""},
        {"var h = {a: 1}; h.forEach(function (v, k) { });", "", "2430"},
        {"var h = {a: 1}; h.forEach(5);", "", "2430"},
        {"var h = {a: 1}; h.forEach(function (v = 1, k, o) { });", "", "2435"},
        {"var h = {a: 1}; h.forEach(function (v, k = 1, o) { });", "", "2440"},
        {"var h = {a: 1}; h.forEach(function (v, k, o = 1) { });", "", "2445"},
        {"var h = {a: 1}; try { h.forEach(function (v, k, o) { throw 'out'; }); } catch (e) { console.log(e, h); }",
         "out{a:1}\n", ""},
    };
    check(cases);
}

TEST_F(ScriptTest, ObjectKeys) {
    const ScriptCase cases[] = {
        {"console.log(Object.keys([7, 8, 9]), Object.keys([]), Object.keys({b: 1, a: 2}), Object.keys({}));",
         "[0,1,2][][\"b\",\"a\"][]\n", ""},
        {"Object.keys('abc');", "", "2420"},
        {"Object.keys(1);", "", "2420"},
        {"Object.keys();", "", "2105"},
        {"Object.keys({}, 1);", "", "2110"},
        {"Object.values({});", "", "2100"},
    };
    check(cases);
}

}  // namespace
}  // namespace tolv::tests
