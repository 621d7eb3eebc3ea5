// Building arrays with push, then reading them back.
function main() {
    var total = 0;
    for (var round = 0; round < 6; round++) {
        var a = [];
        for (var i = 0; i < 500000; i++) {
            a.push(i % 1000);
        }
        var pairs = [];
        for (var j = 0; j < 100000; j++) {
            pairs.push(j, j + 1);
        }
        total += a.length + pairs.length + a[a.length - 1] + pairs[pairs.length - 1];
    }
    console.log("array_push " + total);
}
