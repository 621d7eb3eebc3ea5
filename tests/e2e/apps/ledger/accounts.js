// Accounts: a class-like hash built with `new`, and the rules for moving money.
function Account(owner, balance) {
    this.owner = owner;
    this.balance = balance;
    this.history = [];
    this.moves = 0;
}

var fees = {deposit: 0, withdraw: 1, transfer: 2};

function fee_for(kind) {
    switch (kind) {
        case "deposit":
            return fees.deposit;
        case "withdraw":
        case "transfer":
            return fees[kind];
        default:
            throw new Error(`unknown move ${kind}`, 2501);
    }
}

function apply_move(account, kind, amount) {
    var cost = amount + fee_for(kind);
    if (kind !== "deposit" && cost > account.balance) {
        throw `insufficient funds for ${account.owner}: ${account.balance} < ${cost}`;
    }
    account.balance += kind === "deposit" ? amount : 0 - cost;
    account.history[account.moves] = `${kind}:${amount}`;
    account.moves++;
    return account.balance;
}
