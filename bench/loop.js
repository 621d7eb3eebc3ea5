// A counting loop with integer arithmetic.
function main() {
    var sum = 0;
    for (var i = 0; i < 10000000; i++) {
        sum += i % 7;
    }
    console.log("loop " + sum);
}
