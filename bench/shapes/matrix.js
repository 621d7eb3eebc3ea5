// A 110 by 110 integer matrix product, the inner step s = s + a[i][k] * b[k][j].
function makeMatrix(n, seed) {
    var m = [];
    for (var i = 0; i < n; i++) {
        var row = [];
        for (var j = 0; j < n; j++) {
            row.push(((i * seed) + (j * 7) + 3) % 19);
        }
        m.push(row);
    }
    return m;
}

function multiply(a, b, n) {
    var c = [];
    for (var i = 0; i < n; i++) {
        var row = [];
        for (var j = 0; j < n; j++) {
            var s = 0;
            for (var k = 0; k < n; k++) {
                s = s + a[i][k] * b[k][j];
            }
            row.push(s);
        }
        c.push(row);
    }
    return c;
}

function main() {
    var n = 110;
    var a = makeMatrix(n, 5);
    var b = makeMatrix(n, 11);
    var check = 0;
    for (var round = 0; round < 4; round++) {
        var c = multiply(a, b, n);
        for (var i = 0; i < n; i++) {
            check = (check + (c[i][(i + round) % n] % 1009)) % 1000003;
        }
        a = c;
        for (var r = 0; r < n; r++) {
            for (var q = 0; q < n; q++) a[r][q] = a[r][q] % 23;
        }
    }
    console.log("matrix " + check);
}
