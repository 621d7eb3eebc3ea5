// String building by repeated appends, then reading characters back.
function main() {
    var s = "";
    for (var i = 0; i < 100000; i++) {
        s += "ab" + (i % 10);
    }
    var digits = 0;
    for (var pass = 0; pass < 25; pass++) {
        for (var j = 2; j < s.length; j += 3) {
            if (s[j] == "7") digits++;
        }
    }
    console.log("strings " + s.length + " " + digits);
}
