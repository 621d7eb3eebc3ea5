// mongo_find of every document of the collection, fields k, a, b, c, v.
function main(uri, collection) {
    var c = openDb(0, "libmongoc-1.0.so.0;libbson-1.0.so.0", uri);
    var rows = mongo_find(c, [collection, {}, ['k', 'a', 'b', 'c', 'v']]);
    console.log(rows.length);
    closeDb(c);
}
