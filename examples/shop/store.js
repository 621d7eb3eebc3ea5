// The shop's catalogue and orders kept in MongoDB. The configuration names
// the database: VAR='shop_db':'mongodb://host/shop'.
var DRIVER_FILES = "libmongoc-1.0.so.0;libbson-1.0.so.0";

// The items in stock, cheapest first, and the orders so far by customer.
function store_front() {
    var db = openDb(0, DRIVER_FILES, shop_db);
    sendToFront("items", mongo_find(db, ['items', {stock: {'$gt': 0}}, ['code', 'name', 'price'],
                                         {sort: {price: 1}}]));
    sendToFront("customers", mongo_aggregate(db, 'orders', {key: 'customer', count: 1, sum: 'total'}));
    closeDb(db);
}

// Prices an order of `quantity` of each item in `codes` from the stored
// catalogue, as order() does from the built-in one.
function store_order(customer, codes, quantity) {
    var db = openDb(0, DRIVER_FILES, shop_db);
    var lines = [];
    var sum = 0;
    for (var code of codes) {
        var found = mongo_find_hash(db, ['items', {code: code}, ['name', 'price', 'stock']]);
        if (found.length === 0) {
            throw new Error(`unknown item ${code}`, 404);
        }
        var item = found[0];
        var total = line_total(item, quantity);
        lines[lines.length] = {code: code, name: item.name, total: total, available: item.stock >= quantity};
        sum += total;
    }
    sendToFront("customer", customer);
    sendToFront("lines", lines);
    sendToFront("summary", {earlier: mongo_count(db, 'orders', {customer: customer}), net: money(sum)});
    closeDb(db);
}
