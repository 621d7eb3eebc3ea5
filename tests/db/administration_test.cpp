// Transactions as far as FerretDB runs them, and the administrative
// statements.
#include <gtest/gtest.h>

#include "db/db_fixture.h"

namespace tolv::tests {
namespace {

using Administration = DbTest;

// FerretDB advertises sessions but refuses writes inside a transaction and
// knows neither commitTransaction nor abortTransaction: what runs here is
// the error paths, empty transactions and closeDb's endings.
TEST_F(Administration, TransactionsOnAServerThatCannotRunThem) {
    seed("orders", R"([{"_id": 1}])");
    EXPECT_EQ(run_plain("function main() {\n"
                        "  var c = openDb(0, lib(), uri());\n"
                        "  try { mongo_commit(c); } catch (e) { console.log(e); }\n"
                        "  try { mongo_rollback(c); } catch (e) { console.log(e); }\n"
                        "  try { mongo_transaction(c, 5); } catch (e) { console.log(e); }\n"
                        "  try { mongo_transaction(c, '', 'x'); } catch (e) { console.log(e); }\n"
                        "  mongo_transaction(c);\n"
                        "  try { mongo_transaction(c); } catch (e) { console.log(e); }\n"
                        "  try { mongo_insert(c, 'orders', {_id: 2}); } catch (e) { console.log(e); }\n"
                        "  try { mongo_commit(c); } catch (e) { console.log(e); }\n"
                        "  console.log(mongo_insert(c, 'orders', {_id: 3}));\n"
                        "  mongo_transaction(c, 'majority', 500);\n"
                        "  mongo_rollback(c);\n"
                        "  mongo_transaction(c);\n"
                        "  closeDb(c, 'rollback');\n"
                        "  var d = openDb(0, lib(), uri());\n"
                        "  mongo_transaction(d);\n"
                        "  closeDb(d, 'commit');  // nothing written: the driver commits without asking\n"
                        "  try { mongo_find(d, ['orders', {}, '_id']); } catch (e) { console.log(e); }\n"
                        "  var e2 = openDb(0, lib(), uri());\n"
                        "  mongo_transaction(e2);\n"
                        "  try { mongo_transaction(5); } catch (e) { console.log(e); }\n"
                        "}\n"),
              "6605:EVAL ERROR 6605 : セッション不正\n"
              "6595:EVAL ERROR 6595 : ROLLBACK 不正\n"
              "6565:EVAL ERROR 6565 : mongo_transactionのread mode 不正\n"
              "6570:EVAL ERROR 6570 : mongo_transactionのTimeout 不正\n"
              "6560:EVAL ERROR 6560 : mongo_transaction 不正\n"
              "6415:EVAL ERROR 6415 : mongo_insertの失敗(insert: unknown field \"readConcern\")\n"
              "6610:EVAL ERROR 6610 : COMMIT 失敗(no such command: 'commitTransaction')\n"
              "1\n"
              "6105:EVAL ERROR 6105 : データベース接続不正\n"
              "6555:EVAL ERROR 6555 : データベース接続不正\n");
    EXPECT_EQ(dump("orders"), "{\"_id\": 1}\n{\"_id\": 3}\n");
}

TEST_F(Administration, CollectionsAndDatabases) {
    seed("kept", R"([{"_id": 1}])");
    EXPECT_EQ(run_plain("function main() {\n"
                        "  var c = openDb(0, lib(), uri());\n"
                        "  var made = mongo_create_collection(c, 'made');\n"
                        "  console.log(mongo_collection_name(c, made), ' ', mongo_collection_name(c, mongo_create_collection(c, 'made')));\n"
                        "  console.log(mongo_insert(c, made, {_id: 1}));\n"
                        "  console.log(mongo_exists_collection(c, 'made'), mongo_exists_collection(c, '" + database +
                        ".nothing'));\n"
                        "  console.log(mongo_collection_names(c));\n"
                        "  console.log(mongo_drop_collection(c, 'made'), ' ', mongo_drop_collection(c, 'never'));\n"
                        "  try { mongo_rename_collection(c, 'kept', 'other'); } catch (e) { console.log(e); }\n"
                        "  console.log(mongoc_read_command(c, {ping: 1}));\n"
                        "  console.log(mongoc_write_command(c, {create: 'third'}, mongo_get_database(c, '" + database + "')));\n"
                        "  console.log(mongo_collection_names(c, '" + database + "'));\n"
                        "  mongo_drop_db(c, '" + database + "');\n"
                        "  console.log(mongo_current_db(c));\n"
                        "  try { mongo_create_collection(c, 'x'); } catch (e) { console.log(e); }\n"
                        "  try { mongo_exists_collection(c, '.x'); } catch (e) { console.log(e); }\n"
                        "  try { mongoc_read_command(c, 5); } catch (e) { console.log(e); }\n"
                        "  try { mongoc_write_command(c, {ping: 1}); } catch (e) { console.log(e); }\n"
                        "  try { mongoc_read_command(c, {nosuch: 1}, 'x'); } catch (e) { console.log(e); }\n"
                        "}\n"),
              "made made\n"
              "1\n"
              "10\n"
              "[\"kept\",\"made\"]\n"
              "undefined undefined\n"
              "6660:EVAL ERROR 6660 : mongo_rename_collectionのエラー(renameCollection: support for field "
              "\"dropTarget\" with non-default value true is not implemented yet)\n"
              "{ok:1.0}\n"
              "{ok:1.0}\n"
              "[\"kept\",\"third\"]\n"
              "undefined\n"
              "6735:EVAL ERROR 6735 : データベースを指定していません\n"
              "6830:EVAL ERROR 6830 : データベース名不正\n"
              "6755:EVAL ERROR 6755 : mongoc_read_commandのcommand不正\n"
              "6795:EVAL ERROR 6795 : データベースを指定していません\n"
              "6775:EVAL ERROR 6775 : mongoc_read_command error: no such command: 'nosuch'\n");
    EXPECT_EQ(peer({"dump", database, "kept"}), "");
}

}  // namespace
}  // namespace tolv::tests
