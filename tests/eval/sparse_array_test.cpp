// An Array written beyond its end becomes an assoc array of the keys written.
#include "eval/script_fixture.h"

namespace tolv::test {
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

}  // namespace
}  // namespace tolv::test
