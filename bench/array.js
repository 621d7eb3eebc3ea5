// Array push and index reads and writes.
function main() {
    var a = [];
    for (var i = 0; i < 800000; i++) {
        a.push(i * 2);
    }
    var sum = 0;
    for (var pass = 0; pass < 2; pass++) {
        for (var k = 0; k < 800000; k++) {
            a[k] = a[k] + 1;
        }
        for (var j = 0; j < a.length; j++) {
            sum += a[j] % 1000;
        }
    }
    console.log("array " + a.length + " " + sum);
}
