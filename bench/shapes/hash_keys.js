// Hash reads and writes with keys computed from two parts: counting,
// testing for a key and updating in place.
function main() {
    var counts = {};
    var seen = 0;
    var x = 7;
    for (var i = 0; i < 800000; i++) {
        x = ((x * 75) + 74) % 65537;
        var key = "u" + (x % 300) + "_" + (i % 7);
        if (counts[key] === undefined) {
            counts[key] = 1;
            seen++;
        } else {
            counts[key] = counts[key] + 1;
        }
    }
    var sum = 0;
    for (var round = 0; round < 200; round++) {
        for (var k = 0; k < 300; k += 3) {
            var c = counts["u" + k + "_" + (round % 7)];
            if (c !== undefined) sum = (sum + (c * (k + 1))) % 1000003;
        }
    }
    console.log("hash_keys " + seen + " " + sum);
}
