// An array filled by index, then summed in nested loops over its rows.
function main() {
    var rows = 400;
    var cols = 500;
    var a = [];
    for (var i = 0; i < rows * cols; i++) {
        a[i] = (i * 13) % 97;
    }
    var total = 0;
    for (var pass = 0; pass < 40; pass++) {
        for (var r = 0; r < rows; r++) {
            var base = r * cols;
            var line = 0;
            for (var c = 0; c < cols; c++) {
                line = line + a[base + c];
            }
            total = (total + (line % 1000) + pass) % 1000000007;
        }
    }
    console.log("array_nested " + a.length + " " + total);
}
