// A long Japanese text walked by character position: substring, index
// access, slice and indexOf, each step starting where the last one ended.
function main() {
    var s = "";
    for (var i = 0; i < 120000; i++) s += "日本語のテキスト";
    var n = 960000, c = 0, d = 0, e = 0, k = 0;
    for (var i = 0; i < n; i++) {
        if (s.substring(i, i + 1) == "語") c++;
    }
    for (var i = 0; i < n; i++) {
        if (s[i] == "本") d++;
    }
    for (var i = 0; i < n; i += 8) {
        if (s.slice(i, i + 2) == "日本") e++;
    }
    var at = -1;
    while ((at = s.indexOf("テ", at + 1)) >= 0) k++;
    console.log("text_positions " + c + " " + d + " " + e + " " + k);
}
