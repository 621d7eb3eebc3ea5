/* The plain driver loop the runner's database statements are measured
 * against: the same find (or the server's own $group) through libmongoc,
 * reading every document and building nothing.
 *   driver_loop URI COLLECTION find         all documents, fields k, a, b, c, v
 *   driver_loop URI COLLECTION group        $group by k with the sum of v
 *   driver_loop URI COLLECTION insert N     N documents in one insert_many
 *   driver_loop URI COLLECTION insert1 N    N documents one insert at a time
 * Prints the number of documents read or written. */
#include <mongoc/mongoc.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char** argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: %s URI COLLECTION find|group|insert N|insert1 N\n", argv[0]);
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
    if (strncmp(argv[3], "insert", 6) == 0) {
        long n = argc > 4 ? atol(argv[4]) : 0, written = 0;
        int one_at_a_time = strcmp(argv[3], "insert1") == 0;
        bson_t** documents = calloc((size_t)n + 1, sizeof(bson_t*));
        for (long i = 0; i < n; ++i) {
            char text[32];
            snprintf(text, sizeof text, "text %ld", i);
            documents[i] = BCON_NEW("_id", BCON_INT32((int32_t)i), "k", BCON_INT32((int32_t)(i % 50)),
                                    "b", BCON_UTF8(text), "c", BCON_DOUBLE(i * 0.5));
        }
        int ok = 1;
        if (one_at_a_time) {
            for (long i = 0; i < n && ok; ++i)
                if ((ok = mongoc_collection_insert_one(collection, documents[i], NULL, NULL, &error))) ++written;
        } else if ((ok = mongoc_collection_insert_many(collection, (const bson_t**)documents, (size_t)n, NULL, NULL,
                                                       &error))) {
            written = n;
        }
        if (!ok) fprintf(stderr, "%s\n", error.message);
        for (long i = 0; i < n; ++i) bson_destroy(documents[i]);
        free(documents);
        mongoc_collection_destroy(collection);
        mongoc_client_destroy(client);
        mongoc_uri_destroy(uri);
        mongoc_cleanup();
        printf("%ld\n", written);
        return ok ? 0 : 1;
    }
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
