// The String methods that take a pattern, from script text.
#include "eval/script_fixture.h"

namespace tolv::tests {
namespace {

TEST_F(ScriptTest, StringReplaceAndReplaceAll) {
    const ScriptCase cases[] = {
        {"console.log('a-b-c'.replace('-', '+'), ' ', 'a-b-c'.replaceAll('-', '+'), ' ', 'abc'.replace('x', 'y'));",
         "a+b-c a+b+c abc\n", ""},
        {"console.log('abc'.replaceAll('', '-'), ' ', 'aaa'.replaceAll('aa', 'b'));", "-a-b-c- ba\n", ""},
        {"console.log('abc'.replace(/(a)/, '[$1]'), ' ', 'abc'.replace(/a/, '[$1]'));", "[a]bc [$1]bc\n", ""},
        {"'abc'.replace(/(a)/, '$2');", "", "2717"},
        {"'abc'.replace(/(a)/, '$0');", "", "2717"},
        {"console.log('abc'.replace(/(a)/, '\\\\$1 $x $$ $<n>'));", "\\$1 $x $$ $<n>bc\n", ""},
        {"console.log('2024-05'.replace(/(?<y>\\d+)-(?<m>\\d+)/, '$<m>/$<y> $<z>'));", "05/2024 $<z>\n", ""},
        {"console.log('xAbC'.replace(/abc/i, '-'), ' ', 'aXa'.replace(/X/g, '-'));", "x- a-a\n", ""},
        {"console.log('a1b22c'.replaceAll(/(\\d+)/g, '<$1>'), ' ', 'abc'.replaceAll(/x/g, '-'));",
         "a<1>b<22>c abc\n", ""},
        {"console.log('abc'.replace(/x*/, '-'), ' ', 'あいう'.replace(/い/, 'i'));", "abc あiう\n", ""},
        {"'abc'.replaceAll(/a/, 'x');", "", "2732"},
        {"'abc'.replace('a', 1);", "", "2720"},
        {"'abc'.replace(1, 'a');", "", "2725"},
        {"'abc'.replaceAll('a', 1);", "", "2730"},
        {"'abc'.replaceAll(1, 'a');", "", "2735"},
    };
    check(cases);
}

TEST_F(ScriptTest, StringSplit) {
    const ScriptCase cases[] = {
        {"console.log('a,b,c'.split(','), ' ', 'a,b,c'.split(',', 2), ' ', 'a,b,c'.split(/(,)/));",
         "[\"a\",\"b\",\"c\"] [\"a\",\"b\"] [\"a\",\",\",\"b\",\",\",\"c\"]\n", ""},
        {"console.log('a,b,c'.split(/(,)/).length, ' ', 'a,b'.split().length, ' ', 'abc'.split(''));",
         "5 1 [\"a\",\"b\",\"c\"]\n", ""},
        {"console.log(''.split(',').length, ' ', ''.split('').length, ' ', 'a,'.split(',').length, ' ',"
         " 'a,b'.split(',', 0).length);",
         "1 0 2 0\n", ""},
        {"console.log('a1b22c'.split(/\\d+/), ' ', 'a1b2c'.split(/\\d/, 2), ' ', 'あいう'.split(''));",
         "[\"a\",\"b\",\"c\"] [\"a\",\"b\"] [\"あ\",\"い\",\"う\"]\n", ""},
        {"console.log('a12b'.split(12), ' ', 'axbx'.split(/x*/));", "[\"a\",\"b\"] [\"axbx\"]\n", ""},
        {"console.log(''.split(/,/), ' ', ''.split(','), ' ', ''.split(/,/, 0));", "[\"\"] [\"\"] []\n", ""},
        {"console.log('a\xF0\x9F\x98\x80" "b,c'.split(/\xF0\x9F\x98\x80|,/), ' ', '\xF0\x9F\x98\x80'.split(/x/));",
         "[\"a\",\"b\",\"c\"] [\"\xF0\x9F\x98\x80\"]\n", ""},
        {"'a'.split(',', '1');", "", "2740"},
    };
    check(cases);
}

TEST_F(ScriptTest, StringSearchAndMatch) {
    const ScriptCase cases[] = {
        {"console.log('abc'.search(/c/), ' ', 'abc'.search(/x*/), ' ', 'a.c'.search('.'), ' ', 'a12'.search(12));",
         "2 -1 0 1\n", ""},
        {"var r = /b/g; r.lastIndex = 2; console.log('abc'.search(r), ' ', r.lastIndex);", "1 2\n", ""},
        {"console.log('x'.str_match(), ' ', 'abc'.str_match(/x/), ' ', 'a1b22'.str_match(/\\d+/g));",
         "[\"\"] null [\"1\",\"22\"]\n", ""},
        {"var m = 'a1b22'.str_match(/(\\d)(\\d)/); console.log(m[0], ' ', m[1], ' ', m['index']);", "22 2 3\n", ""},
        {"console.log('abc'.str_match(/x*/g).length, ' ', 'aaa'.str_match('a', 'g'));", "", "2830"},
        {"console.log('abc'.str_match(/x*/g).length);", "3\n", ""},
        {"var all = 'a1b22'.str_matchAll(/(\\w)(\\d)/g); console.log(all.length, ' ', all[0], ' ', all[1]);",
         "2 [\"a1\",\"a\",\"1\"] [\"b2\",\"b\",\"2\"]\n", ""},
        {"var r = /\\d/; var all = 'a1b2'.str_matchAll(r); console.log(all.length, ' ', r.global);", "2 true\n", ""},
        {"'abc'.str_matchAll(/x*/);", "", "2750"},
    };
    check(cases);
}

}  // namespace
}  // namespace tolv::tests
