// Regular expressions from script text: compiling (literals, new RegExp,
// errors, source), the properties, and exec and test.
#include "eval/script_fixture.h"

namespace tolv::tests {
namespace {

TEST_F(ScriptTest, RegExpSourceIsRebuiltFromTheCompiledPattern) {
    const ScriptCase cases[] = {
        {"console.log(/ab*/.source);", "ab*\n", ""},
        {"console.log(/a{2,}?/.source, ' ', /a*?/.source, ' ', /a+?/.source, ' ', /a{3}?/.source);",
         "a{2,}? a{0,}? a{1,}? a{3}\n", ""},
        {"console.log(/a{2,5}/.source, ' ', /a{2,5}?/.source, ' ', /a?\?/.source, ' ', /a{2,}/.source);",
         "a{2,5} a{2,5}? a?? a{2,}\n", ""},
        {"console.log(/[a-f]/.source, ' ', /[abc]/.source, ' ', /[a-c]/.source, ' ', /[abcdef]/.source);",
         "[a-f] [abc] [abc] [a-f]\n", ""},
        {"console.log(/[^\\d\\sx-z]/.source, ' ', /[\\w.]+/.source);", "[^\\d\\sxyz] [\\w.]+\n", ""},
        {"console.log(/(?<year>\\d{4})-(?:x|y)+/.source);", "(\\d{4})-(?:x|y)+\n", ""},
        {"console.log(/a(?=b)|(?<!c)d\\b/.source);", "a(?=b)|(?<!c)d\\b\n", ""},
        {"console.log(/\\.\\/\\n\\x41\\u3042/.source);", "\\.\\/\\nAあ\n", ""},
        {"console.log(/a|b/, ' ', /a/gi.toString(), ' ', /x/gimsyu);", "/a|b/ /a/ig /x/imgys\n", ""},
        {"console.log(new RegExp('a.c', 'g').source, ' ', RegExp('[x]').source);", "a.c [x]\n", ""},
    };
    check(cases);
}

TEST_F(ScriptTest, RegExpProperties) {
    const ScriptCase cases[] = {
        {"console.log(/a/.flags, ' ', /a/gim.flags, ' ', /a/su.flags);", "null img s\n", ""},
        {"var r = /a/gy; console.log(r.global, r.sticky, r.ignoreCase, r.multiline, r.dotAll, r.unicode);",
         "truetruefalsefalsefalsetrue\n", ""},
        {"var r = /a/g; r.lastIndex = 3; console.log(r.lastIndex); r.lastIndex += 2; console.log(r.lastIndex);",
         "3\n5\n", ""},
        {"var r = /a/; console.log(r.size);", "", "5080"},
        {"var r = /a/; r.lastIndex = 'x';", "", "5080"},
        {"var r = /a/; console.log(typeof r, ' ', r instanceof RegExp);", "object true\n", ""},
        {"var r = /a/; r.compile('b');", "", "5070"},
        {"var r = /a/; r.exec();", "", "5075"},
        {"var r = /a/; r.toString(1);", "", "5075"},
    };
    check(cases);
}

TEST_F(ScriptTest, RegExpCompileErrors) {
    const ScriptCase cases[] = {
        {"var r = new RegExp('');", "", "4800"},
        {"var r = new RegExp(1);", "", "5085"},
        {"var r = new RegExp('a', 1);", "", "5090"},
        {"var r = new RegExp('a', 'gx');", "", "4795"},
        {"var r = /a/gx;", "", "4795"},
        {"var r = /abc;", "", "4805"},
        {"var r = /(a)*/;", "", "4660"},
        {"var r = /(ab)+/;", "", "4670"},
        {"var r = /\\b?/;", "", "4680"},
        {"var r = /^{2}/;", "", "4620"},
        {"var r = new RegExp('*a');", "", "4605"},
        {"var r = new RegExp('a|+');", "", "4605"},
        {"var r = /a**/;", "", "4655"},
        {"var r = /a+*/;", "", "4665"},
        {"var r = /a?+/;", "", "4675"},
        {"var r = /a*?+/;", "", "4610"},
        {"var r = /a{2}{3}/;", "", "4610"},
        {"var r = /a{0}/;", "", "4750"},
        {"var r = /a{0,}/;", "", "4755"},
        {"var r = /a{2,1}/;", "", "4765"},
        {"var r = /a{2,70000}/;", "", "4765"},
        {"var r = /a{x}/;", "", "4760"},
        {"var r = /a{2,x}/;", "", "4770"},
        {"var r = /a{2/;", "", "4780"},
        {"var r = /x^/;", "", "4685"},
        {"var r = /a$b/;", "", "4687"},
        {"var r = /a$|b/; var s = /(a$)/;", "", ""},
        {"var r = /\\2(a)(b)/;", "", "4705"},
        {"var r = /(a)\\1/;", "", ""},
        {"var r = /[z-a]/;", "", "4720"},
        {"var r = /[a-a]/;", "", "4720"},
        {"var r = /[]/;", "", "4600"},
        {"var r = /[ab/;", "", "4805"},
        {"var r = new RegExp('[ab');", "", "4775"},
        {"var r = /[\\q]/;", "", "4745"},
        {"var r = /[\\xZZ]/;", "", "4730"},
        {"var r = /[\\u12]/;", "", "4735"},
        {"var r = /[\\cz]/;", "", "4725"},
        {"var r = /\\cz/;", "", "4690"},
        {"var r = /\\xG1/;", "", "4695"},
        {"var r = /\\u{12345}/;", "", "4700"},
        {"var r = /\\q/;", "", "4715"},
        {"var r = new RegExp('a\\\\');", "", "4710"},
        {"var r = /a|/;", "", "4785"},
        {"var r = /a()/;", "", "4790"},
        {"var r = /(a/;", "", "4640"},
        {"var r = /a)/;", "", "4640"},
        {"var r = /(?<1x>a)/;", "", "4625"},
        {"var r = /(?<name/;", "", "4635"},
        {"var r = /(?=a)*/;", "", "4645"},
        {"var r = /a(?<=b)/;", "", "4650"},
        {"var r = /(?#x)/;", "", "4640"},
        {"var r = /a\\-b[\\-x]\\:/; console.log(r.test('a-b-:'));", "true\n", ""},
    };
    check(cases);
}

TEST_F(ScriptTest, RegExpCompileErrorInAModuleIsAParseError) {
    ScriptOutcome r = run("function f() { return 1; }\nvar r = /a{2,1}/;\n");
    EXPECT_EQ(r.error_code, "4765");
    EXPECT_NE(r.error_message.find("PARSE ERROR 4765"), std::string::npos) << r.error_message;
}

TEST_F(ScriptTest, RegExpExecAndTest) {
    const ScriptCase cases[] = {
        {"var m = /b/.exec('abc'); console.log(m[0], ' ', m['index'], ' ', m['input']);", "b 1 abc\n", ""},
        {"console.log(/x/.exec('abc'));", "null\n", ""},
        {"var m = /(a)(b)/.exec('xab'); console.log(m[1], m[2], ' ', m['index'], ' ', m['indices'][0], ' ',"
         " m['indices'][2], ' ', m['indices']['groups']);",
         "ab 1 [1,3] [2,3] undefined\n", ""},
        {"var m = /abc/i.exec('xAbC'); console.log(m[0]);", "AbC\n", ""},
        {"var r = /a/g; var s = 'aa'; console.log(r.exec(s)['index'], r.lastIndex, r.exec(s)['index'], r.lastIndex,"
         " r.exec(s), r.lastIndex);",
         "0112null0\n", ""},
        {"console.log(/a*/.test('b'), ' ', /a*/.exec('b')[0] == '', ' ', /a*/.exec('b')['index']);",
         "false true 0\n", ""},
        // The empty text is a text like any other; on it an empty match is the whole text.
        {"console.log(/a/.exec(''), ' ', /a/.test(''), ' ', /^$/.test(''), ' ', /x*/.test(''), ' ',"
         " /^$/.exec('')['index'], ' ', /a/g.exec(''));",
         "null false true true 0 null\n", ""},
        {"var r = /a?/g; r.lastIndex = 3; console.log(r.exec(''), r.lastIndex, ' ', /x/y.test(''));", "null0 false\n", ""},
        {"var r = /a/; r.exec(1);", "", "5042"},
        {"var r = /a/; r.test(1);", "", "5045"},
        {"console.log(/^b/m.test('a\\nb'), /^b/.test('a\\nb'), /a$/m.test('a\\nb'), /a$/.test('a\\nb'));",
         "truefalsetruefalse\n", ""},
        {"console.log(/a.b/.test('a\\nb'), /a.b/.test('a\\rb'), /a.b/s.test('a\\nb'), /a[^]b/.test('a\\nb'));",
         "falsefalsetruetrue\n", ""},
        {"console.log(/$/.exec('abc'), ' ', /c$/.exec('abc')[0]);", "null c\n", ""},
        {"var m = /(?<y>\\d{4})-(?<m>\\d\\d)/.exec('on 2024-05'); var g = m['indices']['groups'];"
         " console.log(g['y'], ' ', g['m'], ' ', m[1], ' ', m['indices']['length']);",
         "2024 05 2024 3\n", ""},
        {"var m = /(a)|(b)/.exec('b'); console.log('[', m[1], '][', m[2], '] ', m['indices'][1]);",
         "[][b] undefined\n", ""},
        {"var r = /o/y; r.lastIndex = 1; console.log(r.test('foo'), r.lastIndex, r.test('foo'), r.lastIndex,"
         " r.test('foo'), r.lastIndex);",
         "true2true3false0\n", ""},
        {"var m = /い(.)/.exec('あいうえ'); console.log(m[0], ' ', m[1], ' ', m['index']);", "いう う 1\n", ""},
        {"console.log(/[ぁ-ん]+/.exec('abひらがなXY')[0]);", "ひらがな\n", ""},
        // A character above U+FFFF is two units to the pattern (as in ECMAScript
        // without u) and one character in every position that comes back.
        {"console.log(/x/.test('a\xF0\x9F\x98\x80'), ' ', /b/.exec('a\xF0\x9F\x98\x80" "b')['index'], ' ',"
         " /^.{3}$/.test('a\xF0\x9F\x98\x80'), ' ', /^.{2}$/.test('a\xF0\x9F\x98\x80'));",
         "false 2 true false\n", ""},
        {"var s = 'x\xF0\x9F\x98\x80y\xF0\x9F\x98\x80z'; var m = /(y)\xF0\x9F\x98\x80(z)/.exec(s);"
         " console.log(m['index'], ' ', s.substring(m['index']), ' ', m['indices'][2], ' ', m[0]);",
         "2 y\xF0\x9F\x98\x80z [4,5] y\xF0\x9F\x98\x80z\n", ""},
        {"var r = /\\w/g; var s = '\xF0\x9F\x98\x80" "a\xF0\x9F\x98\x80" "b'; r.exec(s); var one = r.lastIndex;"
         " var m = r.exec(s); console.log(one, ' ', m['index'], m[0], ' ', r.lastIndex);",
         "2 3b 4\n", ""},
        // Half a pair: a span never ends inside the character.
        {"var m = /./.exec('\xF0\x9F\x98\x80!'); console.log(m[0], ' ', m['index'], ' ', m['indices'][0]);",
         "\xF0\x9F\x98\x80 0 [0,1]\n", ""},
        {"var r = /./g; var s = '\xF0\x9F\x98\x80'; var n = 0; while (r.exec(s) != null) n++; console.log(n);",
         "1\n", ""},
        // In a pattern such a character is its two units, and its source is the character again.
        {"var r = /a\xF0\x9F\x98\x80+/; console.log(r.test('a\xF0\x9F\x98\x80\xF0\x9F\x98\x80'), ' ',"
         " r.source, ' ', new RegExp('\xF0\x9F\x98\x80').test('\xF0\x9F\x98\x80'), ' ',"
         " /[\xF0\x9F\x98\x80]/.source);",
         "true a\xF0\x9F\x98\x80+ true [\\uD83D\\uDE00]\n", ""},
        {"function f(s) { return /\\d/g.exec(s); } var a = f('1a2'); var b = f('1a2'); console.log(a['index'], ' ', b['index']);",
         "0 2\n", ""},
        {"console.log(/(\\w+)\\s\\1/.test('hey hey'), /(\\w+)\\s\\1/i.test('hey HEY'), /(\\w+)\\s\\1/.test('hey bob'));",
         "truetruefalse\n", ""},
        {"console.log(/(?<=\\$)\\d+/.exec('cost $42')[0], ' ', /(?<!\\$)\\b\\d+/.exec('$42 or 17')[0]);", "42 17\n", ""},
        {"console.log(/a(?!b)/.exec('abac')['index'], ' ', /\\Bb/.test('ab'), /\\bb/.test('ab'));", "2 truefalse\n", ""},
        {"console.log(/(?:ab){2,3}?c/.exec('xabababc')[0], ' ', /(?:a|ab)(?:c|bcd)(d*)/.exec('abcd')[0]);",
         "abababc abcd\n", ""},
        // Greedy and lazy counts of a group.
        {"console.log(/(?:ab){1,3}/.exec('ababab')[0], ' ', /(?:ab){1,3}?/.exec('ababab')[0], ' ',"
         " /(?:ab)+?$/.exec('ababab')[0], ' ', /(?:ab)*?/.exec('ababab')[0] == '');",
         "ababab ab ababab true\n", ""},
    };
    check(cases);
}

TEST_F(ScriptTest, RegExpWorkBudgetIsACatchableError) {
    ScriptOutcome r = run(
        "var s = 'aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa';\n"
        "try { /(?:a+)+b/.test(s); console.log('no'); } catch (e) { console.log(e.name); }\n"
        "console.log(/(?:a+)+b/.test('aaab'));\n");
    EXPECT_EQ(r.error_code, "") << r.error_message;
    EXPECT_EQ(r.output, "4900\ntrue\n");
}

}  // namespace
}  // namespace tolv::tests
