// A method called on an object in a tight loop.
function Counter() {
    this.total = 0;
    this.add = function (k) {
        this.total += k;
        return this.total;
    };
}

function main() {
    var c = new Counter();
    var last = 0;
    for (var i = 0; i < 2000000; i++) {
        last = c.add(i % 3);
    }
    console.log("methods " + last);
}
