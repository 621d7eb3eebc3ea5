// Recursive calls: two calls, a comparison and an addition per step.
function fib(n) {
    if (n < 2) return n;
    return fib(n - 1) + fib(n - 2);
}

function main() {
    console.log("fib " + fib(32));
}
