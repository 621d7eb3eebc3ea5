// Joining words into one text and splitting it back, over and over.
function main() {
    var words = [];
    for (var i = 0; i < 2000; i++) {
        words.push("w" + (i % 97) + "x");
    }
    var total = 0;
    for (var round = 0; round < 3200; round++) {
        var text = words.join(",");
        var parts = text.split(",");
        total += parts.length + text.length + parts[round % 2000].length;
    }
    console.log("join_split " + total);
}
