// Opening, steering and closing connections through the built runner.
#include <gtest/gtest.h>

#include "db/db_fixture.h"
#include "support/request_records.h"

namespace tolv::tests {
namespace {

using Connections = DbTest;

TEST_F(Connections, DefaultDatabaseComesFromTheConnectionString) {
    int port = ferretdb().port();
    std::string server = "mongodb://127.0.0.1:" + std::to_string(port);
    EXPECT_EQ(run_plain("function main() {\n"
                  "  var a = openDb(0, lib(), '" + server + "/shop?retryWrites=true');\n"
                  "  var b = openDb(0, lib(), '" + server + "');\n"
                  "  var c = openDb(0, lib(), '" + server + "/');\n"
                  "  console.log(mongo_current_db(a), ' ', mongo_current_db(b), ' ', mongo_current_db(c));\n"
                  "  mongo_use_db(b, 'other');\n"
                  "  var d = mongo_get_database(c, 'third');\n"
                  "  console.log(mongo_current_db(b), ' ', mongo_current_db(c));\n"
                  "  mongo_use_db(c, d);\n"
                  "  console.log(mongo_current_db(c));\n"
                  "  var col = mongo_get_collection(a, 'orders');\n"
                  "  console.log(mongo_collection_name(a, col), ' ', mongo_collection_name(a, mongo_get_collection(b, 'x.lines')));\n"
                  "  closeDb(a); closeDb(b, 'ROLLBACK'); closeDb(c, 'r');\n"
                  "}\n"),
              "shop undefined undefined\n"
              "other undefined\n"
              "third\n"
              "orders lines\n");
}

// Each statement runs in its own try; `c` is an open connection to this
// test's database, `gone` a closed one, `dead` one to a port nobody listens on.
TEST_F(Connections, BadInputsAndFaultsRaiseNumberedErrors) {
    int dead_port = free_loopback_port();
    const ErrorCase cases[] = {
        {"openDb(0, 5, uri())", "6015:"},
        {"openDb(0, lib(), 5)", "6020:"},
        {"openDb(0, lib(), '127.0.0.1:27017')", "6025:"},
        {"openDb(0, lib(), 'mongodb://')", "6030:"},
        {"closeDb(5)", "6040:"},
        {"closeDb(gone)", "6040:"},
        {"closeDb(openDb(0, lib(), uri()), 1)", "6045:"},
        {"closeDb(openDb(0, lib(), uri()), 'commitment')", "6050:"},
        {"closeDb(openDb(0, lib(), uri()), 'commit')", "6052:"},
        {"mongo_use_db(c, '')", "6550:"},
        {"mongo_use_db(5, 'x')", "6545:"},
        {"mongo_current_db(gone)", "6665:"},
        {"mongo_get_database(c, 5)", "6690:"},
        {"mongo_find(nodb, ['items', {}, 'a'])", "6780:"},
        {"mongo_find(c, ['.items', {}, 'a'])", "6770:"},
        {"mongo_find(c, ['x.', {}, 'a'])", "6775:"},
        {"mongo_find(c, [5, {}, 'a'])", "6115:"},
        {"mongo_get_collection(c, 5)", "6790:"},
        {"mongo_collection_name(c, 'items')", "6620:"},
        {"mongo_find(gone, ['items', {}, 'a'])", "6105:"},
        {"mongo_find(dead, ['items', {}, 'a'])", "6155:EVAL ERROR 6155 :"},
        {"mongo_count(dead, 'items')", "6335:"},
        {"mongo_find(c, ['items', {a: undefined}, 'a'])", "6055:"},
        {"mongo_find(c, ['items', {a: true}, 'a'])", "no error"},
        {"mongo_find(c, ['items', {a: [1, null]}, 'a'])", "6055:EVAL ERROR 6055 : データの型不正(a.1)"},
    };
    std::string prelude = std::string(OPEN_CONNECTION) +
                          "  var gone = openDb(0, lib(), uri()); closeDb(gone);\n"
                          "  var nodb = openDb(0, lib(), 'mongodb://127.0.0.1:" + std::to_string(ferretdb().port()) +
                          "');\n"
                          "  var dead = openDb(0, lib(), 'mongodb://127.0.0.1:" + std::to_string(dead_port) +
                          "/x?serverSelectionTimeoutMS=300&connectTimeoutMS=300');\n";
    expect_errors(cases, prelude);
}

// Binding happens once per run; a failed binding leaves nothing bound, so
// each of these tries afresh.
TEST_F(Connections, LibraryFilesThatDoNotBindAreRefused) {
    std::string out = run_plain("function main() {\n"
                          "  try { openDb(0, 'libmongoc-1.0.so.0', uri()); } catch (e) { console.log(e); }\n"
                          "  try { openDb(0, '  ;libbson-1.0.so.0', uri()); } catch (e) { console.log(e); }\n"
                          "  try { openDb(0, ' ', uri()); } catch (e) { console.log(e); }\n"
                          "  try { openDb(0, 'nowhere.so;libbson-1.0.so.0', uri()); } catch (e) { console.log(e); }\n"
                          "  try { openDb(0, 'libm.so.6;libbson-1.0.so.0', uri()); } catch (e) { console.log(e); }\n"
                          "  try { openDb(0, lib(), 'mongodb://'); } catch (e) { console.log(e); }\n"
                          "  console.log(mongo_current_db(openDb(0, lib(), uri())) == '" + database + "');\n"
                          "}\n");
    EXPECT_EQ(out,
              "1170:EVAL ERROR 1170 : ダイナミック リンク ライブラリが指定されていません\n"
              "1170:EVAL ERROR 1170 : ダイナミック リンク ライブラリが指定されていません\n"
              "1170:EVAL ERROR 1170 : ダイナミック リンク ライブラリが指定されていません\n"
              "1175:EVAL ERROR 1175 : ダイナミック リンク ライブラリ('nowhere.so')ロード失敗\n"
              "1180:EVAL ERROR 1180 : ダイナミック リンク ライブラリ関数'mongoc_init'へのリンク失敗\n"
              "6030:EVAL ERROR 6030 : MongoDb URIエラー URI: mongodb://\n"
              "           メッセージ: Invalid host string in URI\n"
              "true\n");
}

TEST_F(Connections, SixteenAtOnceAndAFreedSlotIsTakenAgain) {
    EXPECT_EQ(run_plain("function main() {\n"
                  "  var all = [];\n"
                  "  for (var i = 0; i < 16; i++) all[i] = openDb(0, lib(), uri());\n"
                  "  try { openDb(0, lib(), uri()); } catch (e) { console.log(e); }\n"
                  "  closeDb(all[7]);\n"
                  "  var again = openDb(0, lib(), uri());\n"
                  "  console.log(mongo_current_db(again) == mongo_current_db(all[0]));\n"
                  "}\n")
                  .substr(0, 200),
              "6010:EVAL ERROR 6010 : 接続するデータベースが多すぎます\ntrue\n");
}

// Handles belong to the client they came from: a collection named again
// after its connection closed must not reach the freed handle (run under the
// sanitizers too), and two connections naming the same collection each reach
// their own server.
TEST_F(Connections, EachConnectionKeepsItsOwnHandles) {
    seed("items", R"([{"_id": 1, "name": "pen"}, {"_id": 2, "name": "ink"}])");
    int dead_port = free_loopback_port();
    std::string dead = "mongodb://127.0.0.1:" + std::to_string(dead_port) +
                       "/x?serverSelectionTimeoutMS=300&connectTimeoutMS=300";
    EXPECT_EQ(run_plain("function main() {\n"
                  "  var a = openDb(0, lib(), uri());\n"
                  "  var ref = mongo_get_collection(a, 'items');\n"
                  "  console.log(mongo_find(a, ['items', {}, 'name']));\n"
                  "  closeDb(a);\n"
                  "  var b = openDb(0, lib(), uri());\n"
                  "  console.log(mongo_find(b, ['items', {}, 'name']));\n"
                  "  try { mongo_find(b, [ref, {}, 'name']); } catch (e) { console.log(e); }\n"
                  "  var d = openDb(0, lib(), '" + dead + "');\n"
                  "  try { mongo_find(d, ['" + database + ".items', {}, 'name']); } catch (e) { console.log(e); }\n"
                  "  console.log(mongo_count(b, '" + database + ".items'));\n"
                  "  var d2 = openDb(0, lib(), '" + dead + "');\n"
                  "  try { mongo_count(d2, '" + database + ".items'); } catch (e) { console.log(e); }\n"
                  "}\n"),
              "[[\"pen\"],[\"ink\"]]\n"
              "[[\"pen\"],[\"ink\"]]\n"
              "6105:EVAL ERROR 6105 : データベース接続不正\n" +
                  std::string("6155:EVAL ERROR 6155 : mongo_findの検索エラー(") +
                  "No suitable servers found (`serverSelectionTryOnce` set): [connection refused calling hello on '127.0.0.1:" +
                  std::to_string(dead_port) + "'])\n"
                  "2\n"
                  "6335:EVAL ERROR 6335 : mongo_countの検索エラー(No suitable servers found (`serverSelectionTryOnce` set): [connection refused calling hello on '127.0.0.1:" +
                  std::to_string(dead_port) + "'])\n");
}

// A request that raises while connections are open still answers, and the
// end of the run closes them.
TEST_F(Connections, AnErrorWithConnectionsOpenStillAnswers) {
    seed("items", R"([{"_id": 1, "name": "pen"}])");
    box.write_file("app.js", "function uri() { return \"" + ferretdb().uri(database) + "\"; }\n" +
                                 "function main() {\n"
                                 "  var c = openDb(0, \"" + DRIVER_LIBRARIES + "\", uri());\n"
                                 "  sendToFront('rows', mongo_find(c, ['items', {}, 'name']));\n"
                                 "  mongo_find(c, 'items');\n"
                                 "}\n");
    ProcessResult result = box.cgi(script_request("main()", "app.js"));
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_NE(result.out.find("pen"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("EVAL%20ERROR%206150"), std::string::npos) << result.out;
}

}  // namespace
}  // namespace tolv::tests
