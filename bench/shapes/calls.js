// Calls of small functions with one to four arguments, results combined
// by the caller.
function add(a, b) {
    return a + b;
}

function clamp(v, low, high) {
    if (v < low) return low;
    if (v > high) return high;
    return v;
}

function mix(a, b, c, d) {
    return ((a * 3) + (b * 5) + (c * 7) + d) % 10007;
}

function isOdd(n) {
    return (n % 2) == 1;
}

function main() {
    var acc = 0;
    var odd = 0;
    for (var i = 0; i < 1200000; i++) {
        acc = add(acc, clamp(i % 50, 10, 40));
        acc = mix(acc, i % 9, i % 5, 1);
        if (isOdd(acc)) odd++;
    }
    console.log("calls " + acc + " " + odd);
}
