// A small application whose top functions the front end names.
function order(customer, codes, quantity) {
    console.log("order ", customer, " ", codes, " ", quantity);
    sendToFront("customer", customer);
    sendToFront("quantity", quantity);
}

function show(what, count) {
    console.log("show ", what, " ", count);
    sendToFront("what", what);
    sendToFront("count", count);
}

function noisy() {
    console.log("noisy ran");
    return 7;
}
