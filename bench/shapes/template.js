// Filling a text template: each {{name}} replaced by the record's field,
// found with indexOf and joined piece by piece.
function fill(template, fields) {
    var out = "";
    var from = 0;
    var open = template.indexOf("{{", from);
    while (open >= 0) {
        var close = template.indexOf("}}", open);
        out += template.substring(from, open);
        var value = fields[template.substring(open + 2, close)];
        if (value === undefined) out += "?";
        else out += value;
        from = close + 2;
        open = template.indexOf("{{", from);
    }
    return out + template.substring(from);
}

function main() {
    var template = "Dear {{title}} {{name}},\nyour order {{order}} of {{count}} item(s) " +
        "ships to {{city}} on {{day}}. Total: {{total}} NOK. Ref {{ref}}/{{order}}.\n";
    var titles = ["Ms", "Mr", "Dr"];
    var cities = ["Oslo", "Bergen", "Trondheim", "Stavanger"];
    var length = 0;
    var check = 0;
    for (var i = 0; i < 80000; i++) {
        var fields = {
            title: titles[i % 3], name: "Person" + (i % 977), order: 50000 + i,
            count: (i % 9) + 1, city: cities[i % 4], day: "day " + (i % 28),
            total: (i % 500) * 10, ref: "R" + (i % 13)
        };
        var text = fill(template, fields);
        length = length + text.length;
        check = (check + text.charCodeAt(i % 40)) % 1000003;
    }
    console.log("template " + length + " " + check);
}
