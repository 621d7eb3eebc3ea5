function f(a, b = 2) { var t; return a + b + t; }
var g = function (x) { return x; };
x = [1, 2, {a: "b", c: [x, 2]}];