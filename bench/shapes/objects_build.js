// Object construction: records made by constructors and literals, holding
// arrays and other records, then read back field by field.
function Address(city, zip) {
    this.city = city;
    this.zip = zip;
}

function Customer(id, name, address) {
    this.id = id;
    this.name = name;
    this.address = address;
    this.orders = [];
}

function main() {
    var cities = ["Oslo", "Bergen", "Tromso", "Bodo", "Alta"];
    var total = 0;
    var zips = 0;
    for (var round = 0; round < 75; round++) {
        var customers = [];
        for (var i = 0; i < 4000; i++) {
            var a = new Address(cities[i % 5], 1000 + (i % 900));
            var c = new Customer(i, "c" + i, a);
            c.orders.push({ item: i % 17, count: (i % 3) + 1 });
            c.orders.push({ item: (i + 5) % 17, count: 1 });
            customers.push(c);
        }
        for (var j = 0; j < customers.length; j++) {
            var cu = customers[j];
            zips = (zips + cu.address.zip) % 1000003;
            for (var k = 0; k < cu.orders.length; k++) {
                total = total + (cu.orders[k].item * cu.orders[k].count);
            }
        }
    }
    console.log("objects_build " + total + " " + zips);
}
