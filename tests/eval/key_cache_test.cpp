// Key lookups in large hashes remember where a key was found; what they
// answer must stay the first pair with that key whatever happens between.
#include "eval/script_fixture.h"

namespace tolv::tests {
namespace {

TEST_F(ScriptTest, LargeHashKeyLookupsFollowTheirPairs) {
    const ScriptCase cases[] = {
        // Removing an earlier pair moves the later ones down.
        {"var h = {}; for (var i = 0; i < 30; i++) h['k' + i] = i; console.log(h.k20, ' ', h['k21']);"
         " h.delete('k3'); console.log(h.k20, ' ', h['k21'], ' ', h.length); h.k20 = 'x'; h['k21'] += 1;"
         " console.log(h.k19, h.k20, h.k21, h.k22, ' ', h.length);",
         "20 21\n20 21 29\n19x2222 29\n", ""},
        // A duplicate key behind the one found must not take its place.
        {"var h = {x: 0, k1: 1, k2: 2, k3: 3, k4: 4, k5: 5, k6: 6, k7: 7, k8: 8, k9: 9, k10: 10, k11: 11, k12: 12, k13: 13, k14: 14, k15: 15, k16: 16, k17: 17, k18: 18, d: 'first', d: 'second'}; console.log(h.d); h.delete('x');"
         " console.log(h.d, ' ', h['d']); h.delete('d'); console.log(h.d);",
         "first\nfirst first\nsecond\n", ""},
        // A cleared hash and a freed one whose handle comes back as another.
        {"var h = {}; for (var i = 0; i < 20; i++) h['k' + i] = i; console.log(h.k19); h.clear();"
         " console.log(typeof h.k19); h.k19 = 'new'; console.log(h.k19, ' ', h.length);",
         "19\nundefined\nnew 1\n", ""},
        {"function f() { var h = {}; for (var i = 0; i < 20; i++) h['k' + i] = i; return h.k19; }"
         " function g() { var h = {k19: 'first', k1: 1, k2: 2, k3: 3, k4: 4, k5: 5, k6: 6, k7: 7, k8: 8, k9: 9, k10: 10, k11: 11, k12: 12, k13: 13, k14: 14, k15: 15, k16: 16, k17: 17, k18: 18, k19: 'second'}; return h.k19; }"
         " console.log(f(), ' ', g(), ' ', f(), ' ', g());",
         "19 first 19 first\n", ""},
        // Methods stored in a large hash are found the same way.
        {"var h = {}; for (var i = 0; i < 20; i++) h['k' + i] = i; h.f = function () { return this.k7; };"
         " console.log(h.f()); h.delete('k0'); h.k7 = 'seven'; console.log(h.f());",
         "7\nseven\n", ""},
    };
    check(cases);
}

}  // namespace
}  // namespace tolv::tests
