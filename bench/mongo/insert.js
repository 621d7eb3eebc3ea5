// Inserts `n` documents: in one mongo_insert of an Array, or one at a time.
function main(uri, collection, n, one_at_a_time) {
    var c = openDb(0, "libmongoc-1.0.so.0;libbson-1.0.so.0", uri);
    var written = 0;
    if (one_at_a_time) {
        for (var i = 0; i < n; i++) {
            written += mongo_insert(c, collection, {_id: i, k: i % 50, b: `text ${i}`, c: i * 0.5});
        }
    } else {
        var documents = [];
        for (var i = 0; i < n; i++) {
            documents[i] = {_id: i, k: i % 50, b: `text ${i}`, c: i * 0.5};
        }
        written = mongo_insert(c, collection, documents);
    }
    console.log(written);
    closeDb(c);
}
