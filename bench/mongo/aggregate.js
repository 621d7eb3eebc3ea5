// mongo_aggregate by k with the sum of v, as the server's $group does it.
function main(uri, collection) {
    var c = openDb(0, "libmongoc-1.0.so.0;libbson-1.0.so.0", uri);
    var rows = mongo_aggregate(c, collection, {key: 'k', sum: 'v'});
    console.log(rows.length);
    closeDb(c);
}
