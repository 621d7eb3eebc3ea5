// Recursive calls: Fibonacci numbers and the Takeuchi function.
function fib(n) {
    if (n < 2) return n;
    return fib(n - 1) + fib(n - 2);
}

function tak(x, y, z) {
    if (y >= x) return z;
    return tak(tak(x - 1, y, z), tak(y - 1, z, x), tak(z - 1, x, y));
}

function main() {
    var f = fib(31);
    var t = 0;
    for (var i = 0; i < 6; i++) t = t + tak(18, 12, 6 + i);
    console.log("recursion " + f + " " + t);
}
