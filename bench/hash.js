// Hash set and get with computed keys.
function main() {
    var h = {};
    for (var i = 0; i < 1000000; i++) {
        h["k" + (i % 500)] = i;
    }
    var sum = 0;
    for (var j = 0; j < 1000000; j++) {
        sum += h["k" + (j % 500)] % 100;
    }
    console.log("hash " + sum);
}
