// A long Japanese text walked by character position from its end to its
// start, and from both ends towards the middle: each step lies just before
// the last one, or at the other end of the text.
function main() {
    var s = "";
    for (var i = 0; i < 40000; i++) s += "日本語のテキスト";
    var n = 320000, c = 0, d = 0, e = 0;
    for (var i = n - 1; i >= 0; i--) {
        if (s[i] == "語") c++;
    }
    for (var i = n - 1; i >= 0; i--) {
        if (s.charCodeAt(i) == 0x672C) d++;
    }
    for (var i = 0; i < n / 2; i++) {
        if (s.substring(i, i + 1) == s.substring(n - 1 - i, n - i)) e++;
    }
    console.log("text_positions_backward " + c + " " + d + " " + e);
}
