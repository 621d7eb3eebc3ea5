// Searching and slicing a text: indexOf from a position, lastIndexOf, slice,
// substring and charAt (what every engine here has).
function main() {
    var text = "";
    for (var i = 0; i < 300; i++) {
        text += "line " + i + ": the quick brown fox jumps over the lazy dog; ";
    }
    var found = 0;
    var sum = 0;
    for (var r = 0; r < 1050; r++) {
        var round = r % 350;
        var at = text.indexOf("fox", 0);
        while (at >= 0) {
            found++;
            var piece = text.slice(at - 12, at + 3);
            if (piece.indexOf("quick") == 4) sum += piece.length;
            if (text.substring(at, at + 9).lastIndexOf("jump") > 0) sum += 1;
            if (text.charAt(at + 4) == "j") sum += 2;
            at = text.indexOf("fox", at + 3);
        }
        sum += text.lastIndexOf("line " + round) + text.indexOf("lazy dog; line " + (round + 100));
    }
    console.log("string_search " + found + " " + sum);
}
