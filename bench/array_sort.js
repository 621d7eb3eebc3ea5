// Sorting numbers and records with a script comparator.
function byValue(a, b) {
    return a - b;
}

function byKeyThenName(a, b) {
    if (a.key != b.key) return a.key - b.key;
    return a.id - b.id;
}

function main() {
    var x = 12345;
    var numbers = [];
    var records = [];
    for (var i = 0; i < 90000; i++) {
        x = (x * 1103 + 12345) % 65536;
        numbers.push(x);
        records.push({ key: x % 97, id: i });
    }
    numbers.sort(byValue);
    records.sort(byKeyThenName);
    var check = 0;
    for (var j = 0; j < numbers.length; j++) {
        check = (check + (numbers[j] % 1000) * (j % 7)) % 1000000;
        check = (check + records[j].id % 13) % 1000000;
    }
    console.log("array_sort " + numbers[0] + " " + numbers[numbers.length - 1] + " " + records[0].id + " " + check);
}
