// Math, Number and String statics and the parseInt/parseFloat keywords run as
// scripts: results and their kinds, NaN for bad arguments, the String
// statics' errors.
#include "eval/script_fixture.h"

namespace tolv::tests {
namespace {

TEST_F(ScriptTest, MathFunctions) {
    const ScriptCase cases[] = {
        {"console.log(Math.pow(2, 10), ' ', Math.pow(2, 0.5) > 1.41, ' ', Math.pow(2, -1), ' ', Math.pow(-2, 2), ' ', "
         "Math.pow(-2, -1), ' ', Math.pow(0, -1), ' ', Math.pow(2, 40), ' ', Math.pow('2', 2), ' ', Math.pow(7, 0), "
         "' ', Math.pow(2.5, 2));",
         "1024 true 0.5 4 NaN 0 -2147483648 NaN 1 6.25\n", ""},
        {"console.log(Math.min(3, 1.5, 1), ' ', Math.min(1, 1.0), ' ', Math.max(1.0, 1), ' ', Math.max(1, true), ' ', "
         "Math.max(-3), ' ', Math.min(2, 'x', 1), ' ', Math.max(1, 2.5, 2));",
         "1 1 1.0 NaN -3 NaN 2.5\n", ""},
        {"console.log(Math.ceil(null), ' ', Math.abs(null), ' ', Math.round(2.5), ' ', Math.round(-2.5), ' ', "
         "Math.trunc(-1.7), ' ', Math.floor(-1.2), ' ', Math.ceil(1.2), ' ', Math.floor(7), ' ', Math.round('3'), ' ', "
         "Math.floor(3e10), ' ', Math.abs(-2.5), ' ', Math.abs(-7));",
         "0 NaN 3 -3 -1 -2 2 7 NaN -2147483648 2.5 7\n", ""},
        {"var ok = true; for (var i = 0; i < 200; i++) { var r = Math.random(); if (r < 0 || r > 1) ok = false; } "
         "console.log(ok);",
         "true\n", ""},
        {"Math.random(1);", "", "2120"},
        {"Math.min();", "", "2120"},
    };
    check(cases);
}

TEST_F(ScriptTest, ParseIntAndParseFloat) {
    const ScriptCase cases[] = {
        {"console.log(parseInt(' 42abc'), ' ', parseInt('-0x1F'), ' ', parseInt('0x1F', 16), ' ', parseInt('z', 36), "
         "' ', parseInt('1', 37), ' ', parseInt('abc'), ' ', parseInt('\\t+12\\t'), ' ', parseInt(12.9), ' ', "
         "parseInt('101', 2), ' ', parseInt('12', 1), ' ', parseInt('12', '10'), ' ', parseInt(''), ' ', "
         "parseInt(null), ' ', parseInt('4294967297'));",
         "42 -31 0 35 NaN NaN 12 12 5 NaN NaN NaN NaN 1\n", ""},
        {"console.log(Number.parseInt('7f', 16), ' ', Number.parseInt(' -8 '));", "127 -8\n", ""},
        {"console.log(parseFloat('3.5e2xyz'), ' ', parseFloat('x'), ' ', parseFloat(7), ' ', parseFloat(' -.5 '), ' ', "
         "Number.parseFloat('1e3'), ' ', parseFloat(''));",
         "350.0 NaN 7.0 -0.5 1000.0 NaN\n", ""},
        {"console.log(Number.isInteger(3.0), Number.isInteger(3.00000000001), Number.isInteger(3.0001), "
         "Number.isInteger('3'), Number.isInteger(3), Number.isInteger(2.99999999999));",
         "truetruefalsefalsetruetrue\n", ""},
        {"Number.parseInt();", "", "2130"},
        {"Number.parseInt('1', 2, 3);", "", "2135"},
        {"Number.toFixed(1);", "", "2125"},
    };
    check(cases);
}

TEST_F(ScriptTest, StringStatics) {
    const ScriptCase cases[] = {
        {"var s = String.fromCharCode(0x41, 0x3042, 0x7F, 0x80); console.log(s.slice(0, 2), ' ', s.length);",
         "Aあ 7\n", ""},
        {"var s = String.fromCodePoint(0x1F600, 0x61); console.log(s.length, ' ', s.charAt(0), ' ', s.charAt(1));",
         "5 😀 a\n", ""},
        {"String.fromCharCode(0x10000);", "", "2405"},
        {"String.fromCharCode(-1);", "", "2405"},
        {"String.fromCharCode('A');", "", "2400"},
        {"String.fromCodePoint(-1);", "", "2415"},
        {"String.fromCodePoint(0x110000);", "", "2415"},
        {"String.fromCodePoint(1.5);", "", "2410"},
        {"String.fromCharCode();", "", "2097"},
        {"String.raw('x');", "", "2095"},
    };
    check(cases);
}

TEST_F(ScriptTest, UriEncoding) {
    const ScriptCase cases[] = {
        {"var s = 'a/b?c=1'; console.log(encodeURIComponent(s), ' ', encodeURI(s), ' ', encodeURI(s) === s);",
         "a%2Fb%3Fc%3D1 a/b?c=1 true\n", ""},
        {"console.log(encodeURI(' '), ' ', encodeURI('あ'), ' ', encodeURIComponent(\"-_.!~*'()#;\"), ' ', "
         "encodeURI(\"-_.!~*'()#;,/?:@&=+$\"), ' ', encodeURIComponent('%\\t'));",
         "%20 %E3%81%82 -_.!~*'()%23%3B -_.!~*'()#;,/?:@&=+$ %25%09\n", ""},
        {"console.log(decodeURI('%2F'), ' ', decodeURIComponent('%2F'), ' ', decodeURIComponent('%e3%81%82'), ' ', "
         "decodeURIComponent('abc%'), ' ', decodeURIComponent('abc%4'), ' ', decodeURIComponent('%00'), ' ', "
         "decodeURIComponent('%C3').length, ' ', decodeURIComponent('%25%41'), ' ', decodeURI('%3b%41%23'));",
         "%2F / あ abc% abc%4 %00 1 %A %3bA%23\n", ""},
        {"decodeURIComponent('%zz');", "", "1510"},
        {"decodeURI('ok %4g');", "", "1510"},
        {"encodeURI(12);", "", "2345"},
        {"decodeURIComponent(null);", "", "2340"},
        // Every byte, UTF-8 or not, goes out and comes back byte for byte.
        {"var hex = '0123456789ABCDEF'; var all = ''; var odd = 0; "
         "for (var i = 1; i < 256; i++) { var e = '%' + hex.charAt(i >> 4) + hex.charAt(i & 15); "
         "var d = decodeURIComponent(e); if (d.length != 1) odd++; var back = encodeURIComponent(d); "
         "if (back != e && back != d) odd++; all += d; } "
         "console.log(odd, ' ', all.length, ' ', decodeURIComponent(encodeURIComponent(all)) == all, ' ', "
         "decodeURI(encodeURI(all)) == all, ' ', encodeURI(all).length);",
         "0 255 true true 601\n", ""},
        // The String itself comes back when nothing changes.
        {"var s = 'plain'; console.log(decodeURI(s) === s, encodeURIComponent(s) === s);", "truetrue\n", ""},
    };
    check(cases);
}

}  // namespace
}  // namespace tolv::tests
