// Method calls on script objects: an account object whose methods read and
// change its fields and call one another through this.
function deposit(amount) {
    this.balance = this.balance + amount;
    this.count = this.count + 1;
    return this.balance;
}

function withdraw(amount) {
    if (this.canWithdraw(amount)) {
        this.balance = this.balance - amount;
        this.count = this.count + 1;
        return true;
    }
    this.refused = this.refused + 1;
    return false;
}

function canWithdraw(amount) {
    return this.balance >= amount;
}

function Account(owner) {
    this.owner = owner;
    this.balance = 0;
    this.count = 0;
    this.refused = 0;
    this.deposit = deposit;
    this.withdraw = withdraw;
    this.canWithdraw = canWithdraw;
}

function main() {
    var accounts = [];
    for (var n = 0; n < 10; n++) accounts.push(new Account("owner" + n));
    var ok = 0;
    for (var i = 0; i < 900000; i++) {
        var acc = accounts[i % 10];
        acc.deposit(i % 13);
        if (acc.withdraw((i * 7) % 29)) ok++;
    }
    var balances = 0;
    var refused = 0;
    for (var k = 0; k < accounts.length; k++) {
        balances = balances + accounts[k].balance;
        refused = refused + accounts[k].refused;
    }
    console.log("methods_obj " + ok + " " + balances + " " + refused);
}
