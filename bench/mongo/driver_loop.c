/* The plain driver loop the runner's database statements are measured
 * against: the same find (or the server's own $group) through libmongoc,
 * reading every document and building nothing.
 *   driver_loop URI COLLECTION find       all documents, fields k, a, b, c, v
 *   driver_loop URI COLLECTION group      $group by k with the sum of v
 * Prints the number of documents read. */
#include <mongoc/mongoc.h>
#include <stdio.h>
#include <string.h>

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: %s URI COLLECTION find|group\n", argv[0]);
        return 2;
    }
    mongoc_init();
    bson_error_t error;
    mongoc_uri_t* uri = mongoc_uri_new_with_error(argv[1], &error);
    if (!uri) {
        fprintf(stderr, "%s\n", error.message);
        return 1;
    }
    mongoc_client_t* client = mongoc_client_new_from_uri(uri);
    mongoc_collection_t* collection = mongoc_client_get_collection(client, mongoc_uri_get_database(uri), argv[2]);
    mongoc_cursor_t* cursor;
    if (strcmp(argv[3], "find") == 0) {
        bson_t* options = BCON_NEW("projection", "{", "k", BCON_INT32(1), "a", BCON_INT32(1), "b", BCON_INT32(1),
                                   "c", BCON_INT32(1), "v", BCON_INT32(1), "_id", BCON_INT32(0), "}");
        bson_t* filter = bson_new();
        cursor = mongoc_collection_find_with_opts(collection, filter, options, NULL);
        bson_destroy(filter);
        bson_destroy(options);
    } else {
        bson_t* pipeline = BCON_NEW("pipeline", "[", "{", "$group", "{", "_id", BCON_UTF8("$k"), "s", "{", "$sum",
                                    BCON_UTF8("$v"), "}", "}", "}", "]");
        cursor = mongoc_collection_aggregate(collection, MONGOC_QUERY_NONE, pipeline, NULL, NULL);
        bson_destroy(pipeline);
    }
    const bson_t* document;
    long count = 0;
    while (mongoc_cursor_next(cursor, &document)) ++count;
    int failed = mongoc_cursor_error(cursor, &error);
    if (failed) fprintf(stderr, "%s\n", error.message);
    mongoc_cursor_destroy(cursor);
    mongoc_collection_destroy(collection);
    mongoc_client_destroy(client);
    mongoc_uri_destroy(uri);
    mongoc_cleanup();
    printf("%ld\n", count);
    return failed ? 1 : 0;
}
