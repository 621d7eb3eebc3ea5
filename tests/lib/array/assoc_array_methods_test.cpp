// The Array methods on assoc arrays. The scripts find ready-made assoc arrays
// in globals: m = [0:"a", 1:"b", name:"c"], e = [] and top = [16777215:"x"].
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <utility>

#include "eval/script_fixture.h"
#include "runtime/globals.h"
#include "runtime/name_table.h"
#include "runtime/value.h"

namespace tolv::tests {
namespace {

class AssocArrayScript : public ScriptTest {
protected:
    // Keys: a number is an integer key, anything else a name.
    static ValueHandle assoc(std::initializer_list<std::pair<const char*, const char*>> entries) {
        ValueHandle a = new_assoc_array(0);
        for (const auto& [key, value] : entries) {
            uint32_t k = key[0] >= '0' && key[0] <= '9' ? make_handle(KIND_INTEGER, uint32_t(std::atoi(key)))
                                                         : intern_name(key, std::strlen(key));
            assoc_set(a, k, new_string(value));
        }
        return a;
    }

    void check_all(std::initializer_list<ScriptCase> cases) {
        for (const ScriptCase& c : cases) {
            SCOPED_TRACE(c.script);
            define_global(intern_name("m", 1), assoc({{"0", "a"}, {"1", "b"}, {"name", "c"}}));
            define_global(intern_name("e", 1), assoc({}));
            define_global(intern_name("top", 3), assoc({{"16777215", "x"}}));
            ScriptOutcome r = run(c.script);
            EXPECT_EQ(r.output, c.output);
            EXPECT_EQ(r.error_code, c.error_code) << r.error_message;
            TearDown();
            SetUp();
        }
    }
};

TEST_F(AssocArrayScript, EndsKeepOrRenumberIntegerKeys) {
    check_all({
        {"console.log(m, ' ', m.length);", "[0:\"a\",1:\"b\",name:\"c\"] 3\n", ""},
        {"console.log(m.push('d', 'e'), ' ', m);", "5 [0:\"a\",1:\"b\",name:\"c\",2:\"d\",3:\"e\"]\n", ""},
        {"console.log(m.unshift('z'), ' ', m);", "4 [0:\"z\",1:\"a\",2:\"b\",name:\"c\"]\n", ""},
        {"console.log(m.shift(), ' ', m); console.log(m.shift(), ' ', m);", "a [1:\"b\",name:\"c\"]\nb [name:\"c\"]\n", ""},
        {"console.log(m.pop(), ' ', m, ' ', m[1]);", "c [0:\"a\",1:\"b\"] b\n", ""},
        {"console.log(typeof e.pop(), typeof e.shift(), e.push(1), e);", "undefinedundefined1[0:1]\n", ""},
        {"m.shift(); m.shift(); console.log(m.push('n'), m);", "2[name:\"c\",0:\"n\"]\n", ""},
        {"top.push(1);", "", "2025"},
        {"top.unshift(1);", "", "2025"},
    });
}

TEST_F(AssocArrayScript, KeysSearchesAndTexts) {
    check_all({
        {"console.log(m.keys(), Object.keys(m), e.keys());", "[0,1,name][0,1,name][]\n", ""},
        {"console.log(m.indexOf('b'), m.indexOf('c'), m.indexOf('q'), m.indexOf('a', 1), m.lastIndexOf('a'));",
         "1name-1-10\n", ""},
        {"console.log(typeof m.indexOf('c'), ' ', m[m.indexOf('c')]);", "symbol c\n", ""},
        {"m.indexOf(true);", "", "2510"},
        {"m.lastIndexOf([]);", "", "2515"},
        {"console.log(m.join('-'), ' ', m.join(), ' ', e.join(), '|', m.toString(), ' ', e.toString());",
         "a-b-c a,b,c |[0:a,1:b,name:c] []\n", ""},
        {"console.log(m.concat([1], e, m), [0].concat(m));", "[\"a\",\"b\",\"c\",1,\"a\",\"b\",\"c\"][0,\"a\",\"b\",\"c\"]\n",
         ""},
    });
}

TEST_F(AssocArrayScript, MethodsWithoutAnAssocFormAndCountRules) {
    check_all({
        {"m.reverse();", "", "2565"},
        {"m.sort();", "", "2565"},
        {"m.slice(0);", "", "2565"},
        {"m.splice(0);", "", "2565"},
        {"m.fill(0);", "", "2565"},
        {"m.includes('a');", "", "2565"},
        {"m.copyWithin(0);", "", "2565"},
        {"m.whatever();", "", "2552"},
        {"m.keys(1);", "", "2555"},
        {"m.push();", "", "2555"},
        {"m.join(',', 1);", "", "2560"},
    });
}

}  // namespace
}  // namespace tolv::tests
