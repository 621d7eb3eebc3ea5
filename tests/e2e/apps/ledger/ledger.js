// The top function: runs a day of moves and reports every outcome.
var audit_count = 0;

function audit(line) {
    audit_count++;
    console.log(`[${audit_count}] ${line}`);
}

function main(owner) {
    var account = new Account(owner, 100);
    var moves = [["deposit", 50], ["withdraw", 30], ["bogus", 1], ["transfer", 500], ["withdraw", 9]];
    var i = 0;
    while (i < 5) {
        var kind = moves[i][0];
        var amount = moves[i][1];
        try {
            audit(`${kind} ${amount} -> ${apply_move(account, kind, amount)}`);
        } catch (e) {
            if (typeof e === "string") {
                audit(`refused: ${e}`);
            } else {
                audit(`error ${e}`);
            }
        } finally {
            i++;
        }
    }
    var total = 0;
    for (var n = 1; n <= 10; n++) {
        if (n % 2 === 0) {
            continue;
        }
        total += n;
    }
    audit(`odd sum ${total}, eval ${eval("total * 2 + 1")}`);
    do {
        total = total - 7;
    } while (total > 0);
    audit(`after do-while ${total}; moves ${account.moves}; last ${account.history[account.moves - 1]}`);
    sendToFront("balance", account.balance);
    sendToFront("history", account.history);
    return account.balance;
}
