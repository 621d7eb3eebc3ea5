// Prices: line totals, a volume discount and the tax.
var TAX_PERCENT = 10;

function line_total(item, quantity) {
    var total = item.price * quantity;
    if (quantity >= 10) {
        total = total - (total / 10);
    }
    return total;
}

function with_tax(cents) {
    return cents + ((cents * TAX_PERCENT) / 100);
}

function money(cents) {
    var units = cents / 100;
    var rest = cents % 100;
    return `${units}.${rest < 10 ? "0" : ""}${rest}`;
}
