// Orders grouped, sorted and summed with the Array and Hash methods.
function byTotalThenName(a, b) {
    if (a.total != b.total) return b.total - a.total;
    return a.name < b.name ? -1 : 1;
}

function makeOrders() {
    var orders = [];
    orders.push({ name: "pen", customer: "ann", total: 30 });
    orders.push({ name: "ink", customer: "bob", total: 45 });
    orders.push({ name: "pad", customer: "ann", total: 30 });
    orders.unshift({ name: "cap", customer: "cid", total: 5 });
    return orders;
}

function report() {
    var orders = makeOrders();
    orders.sort(byTotalThenName);
    var names = [];
    for (var i = 0; i < orders.length; i++) names.push(orders[i].name);
    console.log("by total: " + names.join(", "));

    var perCustomer = {};
    for (var k = 0; k < orders.length; k++) {
        var o = orders[k];
        var sum = perCustomer.has(o.customer) ? perCustomer.get(o.customer) : 0;
        perCustomer.set(o.customer, sum + o.total);
    }
    var lines = [];
    // No closures: the callback reaches the list through `this`.
    perCustomer.forEach(function (total, customer, all) {
        this.push(customer + "=" + total);
    }, lines);
    lines.sort();
    console.log("per customer: " + lines.join(" ") + " of " + Object.keys(perCustomer).length);

    var totals = orders.slice(1, 3);
    console.log("middle: " + totals.length + " " + totals[0].name + " " + totals.indexOf(30) + " " + makeOrders().length);
    perCustomer.delete("cid");
    console.log("left: " + perCustomer.keys().join("+") + " " + perCustomer.toString());
}

function badSort() {
    var a = [2, 1];
    a.sort(function (x, y) {
        var d = x - y;
    });
}
