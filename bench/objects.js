// Object construction and member access: records made with new and as
// literals, their fields read and updated.
function Point(x, y) {
    this.x = x;
    this.y = y;
}

function main() {
    var sum = 0;
    for (var i = 0; i < 800000; i++) {
        var p = new Point(i, i + 1);
        var q = {x: p.y, y: p.x, tag: "q"};
        p.x = q.x + q.y;
        sum += p.x % 7 + q.y % 3;
    }
    console.log("objects " + sum);
}
