// The top function: prices an order of `quantity` of each item in `codes`
// (a comma-free list sent as an array) for `customer`.
function order(customer, codes, quantity) {
    var lines = [];
    var count = 0;
    var sum = 0;
    for (var code of codes) {
        var item = find_item(code);
        var total = line_total(item, quantity);
        lines[count] = {code: code, name: item.name, quantity: quantity, total: total,
                        available: item.stock >= quantity};
        count++;
        sum += total;
    }
    sendToFront("customer", customer);
    sendToFront("lines", lines);
    sendToFront("summary", {items: count, net: money(sum), gross: money(with_tax(sum))});
    if (count === 0) {
        alertToFront("the order is empty");
    }
}
