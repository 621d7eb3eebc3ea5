// String methods run as scripts: positions in characters, argument rules and
// their errors, and texts that are not valid UTF-8.
#include "eval/script_fixture.h"

namespace tolv::tests {
namespace {

TEST_F(ScriptTest, StringCharactersAndPositions) {
    const ScriptCase cases[] = {
        // a, あ, b: five bytes, three characters.
        {"var s = 'aあb'; console.log(s.length, ' ', s.charAt(1), ' ', s.charCodeAt(1), ' ', s.indexOf('b'), ' ', "
         "s.slice(1));",
         "5 あ 12354 2 あb\n", ""},
        {"var s = 'abc'; console.log('[', s.charAt(-1), '][', s.charAt(3), '] ', s.charCodeAt(5), ' ', "
         "s.charAt('x'), ' ', s.charAt(1.9), ' ', s.charCodeAt());",
         "[][] NaN a a 97\n", ""},
        {"console.log('x😀'.charAt(1));", "😀\n", ""},
        // One-character results are shared between uses: changing one a script
        // holds changes no other.
        {"var c = 'abc'.charAt(1); var d = 'xbz'[1]; c += 'q'; var s = 'hello'.charAt(0); "
         "for (var i = 0; i < 3; i++) s += 'x'; var t = ' '.charAt(0); t = t.trim(); var u = 'b'.substring(0, 1); u += u; "
         "console.log(c, '|', d, '|', 'abc'.charAt(1), '|', s, '|', 'h'.charAt(0), '|[', t, ']|[', ' '.charAt(0), "
         "']|', u, '|', 'b'[0], '|', 'a' === 'abc'.charAt(0));",
         "bq|b|b|hxxx|h|[]|[ ]|bb|b|true\n", ""},
        {"console.log('x😀'.charCodeAt(1));", "", "1595"},
        {"console.log('abcd'.slice(-2), ' ', 'abc'.slice(-10), ' ', 'abcd'.slice(1, -1), ' [', 'abcd'.slice(3, 1), "
         "'] ', 'abcd'.slice(2, 99), ' [', 'abc'.slice(5), ']');",
         "cd abc bc [] cd []\n", ""},
        {"'abc'.slice('1');", "", "2715"},
        {"'abc'.slice(1, 2.5);", "", "2710"},
        {"console.log('abcd'.substring(3, 1), ' ', 'abcd'.substring(-5, 2), ' ', 'abcd'.substring(2), ' [', "
         "'abcd'.substring(2, 2), '] ', 'abcd'.substring('x', 2), ' ', 'あいう'.substring(1, 9));",
         "bc ab cd [] ab いう\n", ""},
        {"console.log('abcd'.substr(-3, 2), ' [', 'abcd'.substr(1, -1), '] ', 'abcd'.substr(1), ' ', "
         "'abcd'.substr(2, 9), ' [', 'abcd'.substr(9), '] ', 'あいうえ'.substr(1, 2), ' ', 'abcd'.substr('z', 2));",
         "bc [] bcd cd [] いう ab\n", ""},
    };
    check(cases);
}

TEST_F(ScriptTest, StringSearching) {
    const ScriptCase cases[] = {
        {"var s = 'abcabc'; console.log(s.indexOf('c'), ' ', s.indexOf('c', 3), ' ', s.indexOf('x'), ' ', "
         "s.indexOf(''), ' ', s.indexOf('', 2), ' ', s.indexOf('', 99), ' ', s.indexOf('c', -4), ' ', "
         "s.indexOf('bc', 5));",
         "2 5 -1 0 2 6 2 -1\n", ""},
        {"console.log('a12'.indexOf(12), ' ', 'xあいう'.indexOf('う'), ' ', 'ab1.5'.indexOf(1.5));", "1 3 2\n", ""},
        {"'abc'.indexOf('b', '1');", "", "2700"},
        {"var s = 'abcabc'; console.log(s.lastIndexOf('b'), ' ', s.lastIndexOf('b', 3), ' ', "
         "s.lastIndexOf('b', 0), ' ', s.lastIndexOf(''), ' ', s.lastIndexOf('', 2), ' ', s.lastIndexOf('z'));",
         "4 1 -1 6 2 -1\n", ""},
        // Left to right without overlap: the last "aa" found in "aaa" starts at 0.
        {"console.log('aaa'.lastIndexOf('aa'), ' ', 'あいあい'.lastIndexOf('い'));", "0 3\n", ""},
        {"'abc'.lastIndexOf('b', 1.5);", "", "2705"},
        {"var s = 'あいう'; console.log(s.includes('い'), s.includes('い', 2), s.includes(''), s.includes('う', 1.9), "
         "s.includes('x', -3));",
         "truefalsetruetruefalse\n", ""},
        {"'abc'.includes('b', 'x');", "", "2780"},
        {"'abc'.includes(1);", "", "2785"},
        // The position is checked before the search value.
        {"'abc'.includes(1, 'x');", "", "2780"},
        {"var s = 'あいう'; console.log(s.startsWith('あい'), s.startsWith('い', 1), s.startsWith(''), "
         "s.startsWith('う', 99), s.startsWith('あいうえ'));",
         "truetruetruefalsefalse\n", ""},
        {"'abc'.startsWith('a', null);", "", "2805"},
        {"'abc'.startsWith(null);", "", "2810"},
        {"var s = 'あい'; console.log(s.endsWith('い'), s.endsWith('あ', 1), s.endsWith(''), s.endsWith('い', 'x'), "
         "s.endsWith('あい', 9), s.endsWith('xあい'));",
         "truetruetruefalsetruefalse\n", ""},
        {"'abc'.endsWith(3);", "", "2815"},
    };
    check(cases);
}

TEST_F(ScriptTest, StringShaping) {
    const ScriptCase cases[] = {
        {"console.log('äa-Zz'.toUpperCase(), ' ', 'ÄA-Zz'.toLowerCase());", "äA-ZZ Äa-zz\n", ""},
        {"console.log('[', 'ab'.padEnd(5), '] ', 'ab'.padStart(6, 'xy'), ' [', 'ab'.padEnd(4, ''), '] ', "
         "'ab'.padEnd(1), ' ', 'あ'.padStart(4, 'いう'), ' ', 'ab'.padEnd(2, 'z'));",
         "[ab   ] xyxyab [ab  ] ab いういあ ab\n", ""},
        {"'ab'.padEnd('5');", "", "2760"},
        {"'ab'.padEnd(5, 1);", "", "2765"},
        {"'ab'.padStart(5.5);", "", "2770"},
        {"'ab'.padStart(5, null);", "", "2775"},
        {"console.log('[', 'ab'.repeat(0), '] ', 'ab'.repeat(2.7), ' ', 'あ'.repeat(3), ' [', ''.repeat(1000000000), "
         "']');",
         "[] abab あああ []\n", ""},
        {"'ab'.repeat(-1);", "", "2800"},
        {"'ab'.repeat('2');", "", "2795"},
        {"'ab'.repeat(2000000000);", "", "1400"},
        {"function shown(t) { return '[' + t.replaceAll('\\t', 'T').replaceAll('\\n', 'N').replaceAll('\\r', 'R') + ']'; } "
         "var s = ' \\t\\n\\r x y \\r\\n'; console.log(shown(s.trim()), shown(s.trimStart()), shown(s.trimEnd()), "
         "shown(' \\t '.trim()), s.trimLeft() == s.trimStart(), s.trimRight() == s.trimEnd());",
         "[x y][x y RN][ TNR x y][]truetrue\n", ""},
        // Only tab, line feed, carriage return and space are trimmed.
        {"var s = String.fromCharCode(11) + 'a' + String.fromCharCode(12); console.log(s.trim().length);", "3\n", ""},
        // A trimmed temporary is the same text wherever it came from; the variable keeps its own.
        {"var s = '  keep  '; var t = (s + '!').trim(); console.log('[', s, '][', t, '][', s.trim(), '][', s, ']');",
         "[  keep  ][keep  !][keep][  keep  ]\n", ""},
        {"console.log('a'.concat('b', 1, 1.5, [2, 'c'], null), ' ', 'x'.concat(''));", "ab11.5[2,c]null x\n", ""},
        {"'a'.localeCompare('b');", "", "2787"},
        {"'a'.concat();", "", "2825"},
        {"'a'.trim(1);", "", "2830"},
        {"'a'.toUpperCase(1);", "", "2830"},
        {"'a'.charAt(1, 2);", "", "2830"},
        {"'a'.localeCompare(1, 2, 3, 4);", "", "2830"},
        {"'a'.trimLeftish();", "", "2820"},
    };
    check(cases);
}

TEST_F(ScriptTest, StringSplitAndReplaceWithTexts) {
    const ScriptCase cases[] = {
        {"function show(a) { var out = a.length + ':'; for (var i = 0; i < a.length; i++) out += '<' + a[i] + '>'; "
         "return out; } "
         "console.log(show('a,b,c'.split(','))); console.log(show('a,b,c'.split(',', 2))); "
         "console.log(show('a,b,c'.split())); console.log(show('aあb'.split(''))); console.log(show(''.split(''))); "
         "console.log(show(''.split(','))); console.log(show('a,'.split(','))); console.log(show('a,b'.split(',', 0))); "
         "console.log(show('a1b1c'.split(1))); console.log(show('abc'.split('', 2))); "
         "console.log(show('a::b::'.split('::')));",
         "3:<a><b><c>\n2:<a><b>\n1:<a,b,c>\n3:<a><あ><b>\n0:\n1:<>\n2:<a><>\n0:\n3:<a><b><c>\n2:<a><b>\n3:<a><b><>\n",
         ""},
        {"'a,b'.split(',', '2');", "", "2740"},
        {"console.log('abcabc'.replace('b', '[$&]'), ' ', 'abc'.replace('x', 'y'), ' ', 'abc'.replace('', '-'), ' ', "
         "'aあa'.replace('あ', 'い'));",
         "a[$&]cabc abc -abc aいa\n", ""},
        {"console.log('abcabc'.replaceAll('b', 'XX'), ' ', 'aaaa'.replaceAll('aa', 'b'), ' ', "
         "'aあb'.replaceAll('', '-'), ' ', 'abc'.replaceAll('z', '-'));",
         "aXXcaXXc bb -a-あ-b- abc\n", ""},
        {"'abc'.replace('a', 1);", "", "2720"},
        {"'abc'.replace(1, 'a');", "", "2725"},
        {"'abc'.replaceAll('a', null);", "", "2730"},
        {"'abc'.replaceAll(null, 'a');", "", "2735"},
    };
    check(cases);
}

// Raw bytes that are not UTF-8, as a request may carry them: every method
// keeps within the text, a stray byte counting as one character.
TEST_F(ScriptTest, StringMethodsOnBrokenText) {
    const ScriptCase cases[] = {
        {"var s = '\x80" "abc\xE3\x81'; console.log(s.slice(0).length, ' ', s.charAt(1), ' ', s.indexOf('c'), ' ', "
         "s.slice(4).length, ' ', s.substring(1, 4), ' ', s.charCodeAt(0), ' ', s.charCodeAt(4), ' ', "
         "s.endsWith('\xE3\x81'), ' ', s.split('').length, ' ', s.padEnd(7, '\xFF').length, ' ', s.trim().length);",
         "6 a 3 2 abc 65533 65533 true 5 8 6\n", ""},
        {"var s = 'ab\xF8'; console.log(s.charAt(2).length, ' ', s.lastIndexOf('b'), ' ', s.toUpperCase().length, ' ', "
         "s.repeat(2).length, ' ', s.substr(-1).length);",
         "1 1 3 6 1\n", ""},
        // Index access and the methods read the same characters.
        {"var s = '\xF8" "abcd'; console.log(s.charAt(1) === '', ' ', s[1], ' ', s[0].length, ' ', s.substring(0, 1).length);",
         "true undefined 5 5\n", ""},
    };
    check(cases);
}

// Positions found in a multi-byte text are kept for the next call on it;
// they must follow the text as it grows, and be forgotten when the String
// is rewritten or its cell goes to another String.
TEST_F(ScriptTest, StringPositionsKeptBetweenCalls) {
    const ScriptCase cases[] = {
        {"var a = 'あいうえお'; var b = 'かきくけこ'; console.log(a.substring(3, 4), b.substring(1, 2), a.substring(1, 2),"
         " b[4], a[0], a.slice(-2), b.substr(2, 1));",
         "えきいこあえおく\n", ""},
        {"var s = '日本'; s = s + ''; var t = s.substring(1, 2) + s[1]; s += '語x'; s += 'й';"
         " console.log(t, s.substring(2, 3), s.slice(3), s.substr(1, 2), s.indexOf('x'), s[4], s.slice(-1));",
         "本本語xй本語3йй\n", ""},
        {"var u = 'ああ' + 'い'; var v = u.substring(2, 3); u = 'abc' + 'う'; console.log(v, u.substring(3, 4), u[3]);",
         "いうう\n", ""},
        {"var u = 'ああ' + 'い'; var v = u.substring(2, 3); u = 0; var x = 'abcd' + 'う'; var y = 'かか' + 'き';"
         " console.log(v, x.substring(4, 5), x[4], y.substring(2, 3));",
         "いううき\n", ""},
        {"var w = ('  ' + 'éèê').trim(); console.log(w.substring(1, 2), w[2]);", "èê\n", ""},
    };
    check(cases);
}

}  // namespace
}  // namespace tolv::tests
