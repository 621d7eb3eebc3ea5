// The shop's catalogue: items by code, with their unit prices in cents.
var catalog = {
    tea: {name: "Green tea", price: 450, stock: 12},
    cup: {name: "Tea cup", price: 1200, stock: 3},
    pot: {name: "Iron pot", price: 6800, stock: 0}
};

function find_item(code) {
    var item = catalog[code];
    if (item === undefined) {
        throw new Error(`unknown item ${code}`, 404);
    }
    return item;
}
