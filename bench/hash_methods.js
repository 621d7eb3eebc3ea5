// Hash methods: set, get, has, delete and keys on one table.
// Other engines get the same methods on their objects.
function addHashMethods() {
    if ([1].toString() == "[1]") return;
    var methods = {
        set: function (k, v) { this[k] = v; return v; },
        get: function (k) { return this[k]; },
        has: function (k) { return Object.prototype.hasOwnProperty.call(this, k); },
        // Built from text: the runner's language has no delete operator.
        delete: new Function("k", "if (!Object.prototype.hasOwnProperty.call(this, k)) return false; " +
                                  "delete this[k]; return true;"),
        keys: function () { return Object.keys(this); }
    };
    for (var name in methods) {
        // A descriptor without a prototype: Object.prototype is about to get `get` and `set`.
        var d = Object.create(null);
        d.value = methods[name];
        d.writable = true;
        d.configurable = true;
        Object.defineProperty(Object.prototype, name, d);
    }
}

function main() {
    addHashMethods();
    var h = {};
    var names = [];
    for (var n = 0; n < 400; n++) names.push("key" + n);
    var sum = 0;
    for (var round = 0; round < 2000; round++) {
        for (var i = 0; i < 400; i += 2) h.set(names[i], i + round);
        for (var j = 0; j < 400; j++) {
            if (h.has(names[j])) sum = (sum + h.get(names[j])) % 1000000;
        }
        for (var k = 0; k < 400; k += 4) h.delete(names[k]);
        sum = (sum + h.keys().length) % 1000000;
    }
    console.log("hash_methods " + sum);
}
