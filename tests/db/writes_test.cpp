// Writes, each checked against what the server holds through the
// independent client.
#include <gtest/gtest.h>

#include <thread>

#include "db/db_fixture.h"
#include "support/request_records.h"

namespace tolv::tests {
namespace {

using Writes = DbTest;

TEST_F(Writes, InsertOneManyAndFromATemplate) {
    seed("people", "[]");
    EXPECT_EQ(run_plain("function main() {\n"
                        "  var c = openDb(0, lib(), uri());\n"
                        "  console.log(mongo_insert(c, 'people', {_id: 1, name: 'Ann', tags: ['a', 'b'], at: {x: 1.5}}));\n"
                        "  console.log(mongo_insert(c, 'people', [{_id: 2, name: 'Bob'}, {_id: 3, name: 'Cy'}]));\n"
                        "  console.log(mongo_insert(c, 'people', '{_id: %1, name: %2, all: %0}', [[4, 'Di'], [5, 'Ed']]));\n"
                        "}\n"),
              "1\n2\n2\n");
    EXPECT_EQ(dump("people"),
              "{\"_id\": 1, \"at\": {\"x\": 1.5}, \"name\": \"Ann\", \"tags\": [\"a\", \"b\"]}\n"
              "{\"_id\": 2, \"name\": \"Bob\"}\n"
              "{\"_id\": 3, \"name\": \"Cy\"}\n"
              "{\"_id\": 4, \"all\": [4, \"Di\"], \"name\": \"Di\"}\n"
              "{\"_id\": 5, \"all\": [5, \"Ed\"], \"name\": \"Ed\"}\n");
}

// An insert the server refuses raises, and the collection holds exactly the
// documents written before the refused one.
TEST_F(Writes, RefusedInsertRaisesAndKeepsWhatWasWritten) {
    seed("people", R"([{"_id": 1, "name": "Ann"}])");
    EXPECT_EQ(run_plain("function main() {\n"
                        "  var c = openDb(0, lib(), uri());\n"
                        "  try { mongo_insert(c, 'people', [{_id: 2}, {_id: 1}, {_id: 3}]); console.log('no error'); }"
                        " catch (e) { console.log(e); }\n"
                        "}\n"),
              "6415:EVAL ERROR 6415 : mongo_insertの失敗(E11000 duplicate key error collection: " + database +
                  ".people)\n");
    EXPECT_EQ(dump("people"), "{\"_id\": 1, \"name\": \"Ann\"}\n{\"_id\": 2}\n");
}

// MongoDB stores documents nested at most 100 levels deep. A deeper value
// (or one that holds itself) is refused with 6055 before anything reaches
// the server, in a write or in a filter, and the connection goes on.
TEST_F(Writes, DocumentsDeeperThanTheServerStoresAreRefused) {
    seed("deep", "[]");
    EXPECT_EQ(run_plain("function nest(n) { var a = 1; for (var i = 0; i < n; i++) a = [a]; return a; }\n"
                        "function nest_hash(n) { var h = {v: 1}; for (var i = 0; i < n; i++) h = {h: h}; return h; }\n"
                        "function probe(c, statement) {\n"
                        "  try { console.log(eval(statement)); } catch (e) { console.log(e); }\n"
                        "}\n"
                        "function main() {\n"
                        "  var c = openDb(0, lib(), uri()), self = [1];\n"
                        "  self.push(self);\n"
                        "  probe(c, \"mongo_insert(c, 'deep', {_id: 1, h: nest_hash(98)})\");\n"
                        "  probe(c, \"mongo_insert(c, 'deep', {_id: 2, h: nest_hash(99)})\");\n"
                        "  probe(c, \"mongo_insert(c, 'deep', {_id: 3, a: nest(100)})\");\n"
                        "  probe(c, \"mongo_insert(c, 'deep', [{_id: 4}, {_id: 5, h: nest_hash(200000)}])\");\n"
                        "  probe(c, \"mongo_insert(c, 'deep', {_id: 6, s: self})\");\n"
                        "  probe(c, \"mongo_find(c, ['deep', {a: nest(200000)}, ['_id']]).length\");\n"
                        "  probe(c, \"mongo_count(c, 'deep', {h: nest_hash(98)})\");\n"
                        "  probe(c, \"mongo_update_many(c, 'deep', {_id: 1}, {'$set': {b: nest_hash(200000)}})\");\n"
                        "  probe(c, \"mongo_insert(c, 'deep', {_id: 7})\");\n"
                        "}\n"),
              "1\n"
              "6055:EVAL ERROR 6055 : データの型不正\n"
              "6055:EVAL ERROR 6055 : データの型不正\n"
              "6055:EVAL ERROR 6055 : データの型不正\n"
              "6055:EVAL ERROR 6055 : データの型不正(s)\n"
              "6055:EVAL ERROR 6055 : データの型不正\n"
              "1\n"
              "6055:EVAL ERROR 6055 : データの型不正\n"
              "1\n");
    // The document 100 levels deep is stored whole; of the batch with a refused document nothing is.
    std::string hundred = "{\"_id\": 1, \"h\": ";
    for (int i = 0; i < 98; ++i) hundred += "{\"h\": ";
    hundred += "{\"v\": 1}" + std::string(99, '}') + "\n";
    EXPECT_EQ(dump("deep"), hundred + "{\"_id\": 7}\n");
}

TEST_F(Writes, UpdatesOnTheServerAndComputedByTheRunner) {
    seed("stock", R"([
        {"_id": 1, "item": "tea", "qty": 10, "price": 4.5, "old": "x"},
        {"_id": 2, "item": "cup", "qty": 3, "price": 12, "cap": 40},
        {"_id": 3, "item": "pot", "qty": 0, "price": 68, "cap": 60}
    ])");
    EXPECT_EQ(run_plain("function main() {\n"
                        "  var c = openDb(0, lib(), uri());\n"
                        "  console.log(mongo_update_many(c, 'stock', {qty: {'$gt': 0}}, {'$set': {open: 1}}));\n"
                        "  console.log(mongo_update_one(c, 'stock', {}, {'$inc': {qty: 1}}));\n"
                        "  console.log(mongo_update_many(c, 'stock', {_id: {'$gt': 1}}, {'$inc': {qty: 0.5, seen: 1},"
                        " '$max': {price: 20}, '$min': {cap: 50}}));\n"
                        "  console.log(mongo_update_many(c, 'stock', {_id: 1}, {'$rename': {old: 'new'}, '$unset': {item: 1, nope: 1},"
                        " '$mul': {price: 2}}));\n"
                        "  console.log(mongo_update_one(c, 'stock', '{_id: %1}', '{\"$set\": {note: %2}}', [[2, 'b'], [3, 'c']]));\n"
                        "}\n"),
              "2\n1\n2\n1\n2\n");
    EXPECT_EQ(dump("stock"),
              "{\"_id\": 1, \"new\": \"x\", \"open\": 1, \"price\": 9.0, \"qty\": 11}\n"
              "{\"_id\": 2, \"cap\": 40, \"item\": \"cup\", \"note\": \"b\", \"open\": 1, \"price\": 20, \"qty\": 3.5, \"seen\": 1}\n"
              "{\"_id\": 3, \"cap\": 50, \"item\": \"pot\", \"note\": \"c\", \"price\": 68, \"qty\": 0.5, \"seen\": 1}\n");
}

TEST_F(Writes, DeletesByFilterAndTemplate) {
    seed("people", R"([{"_id": 1, "a": 1}, {"_id": 2, "a": 1}, {"_id": 3, "a": 2}, {"_id": 4, "a": 3}])");
    EXPECT_EQ(run_plain("function main() {\n"
                        "  var c = openDb(0, lib(), uri());\n"
                        "  console.log(mongo_delete_one(c, 'people', {a: 1}));\n"
                        "  console.log(mongo_delete_many(c, 'people', '{a: %1}', [[2], [3], [9]]));\n"
                        "}\n"),
              "1\n2\n");
    EXPECT_EQ(dump("people"), "{\"_id\": 2, \"a\": 1}\n");
}

// A document read can be written back: booleans go as BSON booleans, and
// the ObjectId that reads as its 24-digit text addresses the document again
// as {'$oid': text}, in documents, filters, updates, templates and bind values.
TEST_F(Writes, BooleansAndObjectIdsMakeTheRoundTrip) {
    seed("tasks", R"([
        {"_id": {"$oid": "65a1b2c3d4e5f60718293a4b"}, "title": "tea", "done": false},
        {"_id": {"$oid": "65a1b2c3d4e5f60718293a4c"}, "title": "cup", "done": true},
        {"_id": {"$oid": "65a1b2c3d4e5f60718293a4d"}, "title": "pot", "done": false}
    ])");
    EXPECT_EQ(run_plain("function main() {\n"
                        "  var c = openDb(0, lib(), uri());\n"
                        "  var t = mongo_find_hash(c, ['tasks', {}, ['_id', 'title', 'done']]);\n"
                        "  console.log(t[0]);\n"
                        "  console.log(mongo_delete_one(c, 'tasks', {_id: t[0]._id}), ' ', mongo_count(c, 'tasks', {done: false}));\n"
                        "  console.log(mongo_update_one(c, 'tasks', {_id: {'$oid': t[0]._id}},"
                        " {'$set': {done: !t[0].done, next: {'$oid': t[1]._id}, flags: [true, false]}}));\n"
                        "  console.log(mongo_count(c, 'tasks', {next: {'$oid': '65A1B2C3D4E5F60718293A4C'}}), ' ',"
                        " mongo_count(c, 'tasks', {done: true}));\n"
                        "  t[1].title = 'mug'; t[1]._id = {'$oid': t[1]._id};\n"
                        "  console.log(mongo_insert(c, 'copy', t[1]), ' ', mongo_insert(c, 'copy', '{_id: {\"$oid\": %1}, done: %2}',"
                        " [['65a1b2c3d4e5f60718293a4e', false]]));\n"
                        "  console.log(mongo_delete_many(c, 'tasks', '{_id: {\"$oid\": %1}}', [[t[2]._id]]));\n"
                        "}\n"),
              "{_id:\"65a1b2c3d4e5f60718293a4b\",title:\"tea\",done:false}\n"
              "0 2\n"
              "1\n"
              "1 2\n"
              "1 1\n"
              "1\n");
    EXPECT_EQ(dump("tasks"),
              "{\"_id\": {\"$oid\": \"65a1b2c3d4e5f60718293a4b\"}, \"done\": true, \"flags\": [true, false], "
              "\"next\": {\"$oid\": \"65a1b2c3d4e5f60718293a4c\"}, \"title\": \"tea\"}\n"
              "{\"_id\": {\"$oid\": \"65a1b2c3d4e5f60718293a4c\"}, \"done\": true, \"title\": \"cup\"}\n");
    EXPECT_EQ(dump("copy"),
              "{\"_id\": {\"$oid\": \"65a1b2c3d4e5f60718293a4c\"}, \"done\": true, \"title\": \"mug\"}\n"
              "{\"_id\": {\"$oid\": \"65a1b2c3d4e5f60718293a4e\"}, \"done\": false}\n");
}

TEST_F(Writes, BadArgumentsRaiseNumberedErrorsAndWriteNothing) {
    seed("people", R"([{"_id": 1, "n": {"$numberLong": "5"}, "s": "text"},
                       {"_id": {"$binary": {"base64": "AAE=", "subType": "00"}}, "k": 1}])");
    const ErrorCase cases[] = {
        {"mongo_insert(5, 'people', {a: 1})", "6360:"},
        {"mongo_insert(c, 'people', [{a: 1}, 5])", "6370:"},
        {"mongo_insert(c, 'people', [{a: 1}], [])", "6365:"},
        {"mongo_insert(c, 'people', {a: 1}, [])", "6375:"},
        {"mongo_insert(c, 'people', '{a: %1}')", "6380:"},
        {"mongo_insert(c, 'people', '{a: %1}', 5)", "6385:"},
        {"mongo_insert(c, 'people', '{a: %1}', [])", "6390:"},
        {"mongo_insert(c, 'people', '{a: %1}', [5])", "6395:"},
        {"mongo_insert(c, 'people', '{a: %1}', [[1], 5])", "6400:"},
        {"mongo_insert(c, 'people', '{a: %2}', [[1, 2], [1]])", "6405:"},
        {"mongo_insert(c, 'people', '[%1]', [[1]])", "6350:"},
        {"mongo_insert(c, 'people', '{a: %}', [[1]])", "6160:"},
        {"mongo_insert(c, 'people', 5)", "6410:"},
        {"mongo_insert(c, 'people', {a: {b: [1, undefined]}})", "6055:EVAL ERROR 6055 : データの型不正(a.b.1)"},
        {"mongo_insert(c, 'people', {a: {'$oid': '65a1b2c3d4e5f60718293a4'}})", "6055:EVAL ERROR 6055 : データの型不正(a)"},
        {"mongo_insert(c, 'people', {a: [{'$oid': '65a1b2c3d4e5f60718293a4g'}]})",
         "6055:EVAL ERROR 6055 : データの型不正(a.0)"},
        {"mongo_insert(c, 'people', {a: {'$oid': 5}})", "6055:EVAL ERROR 6055 : データの型不正(a)"},
        {"mongo_update_one(c, 'people', {}, 5)", "6470:"},
        {"mongo_update_one(c, 'people', 5, {})", "6480:"},
        {"mongo_update_one(c, 'people', '{_id: %1}', '{}')", "6425:"},
        {"mongo_update_one(c, 'people', '{_id: %1}', {}, [[1]])", "6430:"},
        {"mongo_update_one(c, 'people', '{_id: %1}', '{}', 5)", "6435:"},
        {"mongo_update_one(c, 'people', '{_id: %1}', '{}', [5])", "6455:"},
        {"mongo_update_one(c, 'people', '{_id: %2}', '{}', [[1]])", "6460:"},
        {"mongo_update_one(c, 'people', {}, {'$set': 5})", "6285:"},
        {"mongo_update_one(c, 'people', {}, {'$push': {a: 1}})", "6290:"},
        {"mongo_update_one(c, 'people', {}, {'$inc': {a: 'x'}})", "6280:"},
        {"mongo_update_one(c, 'people', {}, {'$rename': {a: 1}})", "6280:"},
        {"mongo_update_one(c, 'people', {_id: 1}, {'$inc': {n: 1}})", "6240:"},
        {"mongo_update_one(c, 'people', {_id: 1}, {'$inc': {s: 1}})", "6245:"},
        {"mongo_update_one(c, 'people', {_id: 1}, {'$min': {n: 1}})", "6250:"},
        {"mongo_update_one(c, 'people', {_id: 1}, {'$max': {s: 1}})", "6265:"},
        {"mongo_update_one(c, 'people', {_id: 1}, {'$mul': {n: 1}})", "6270:"},
        {"mongo_update_one(c, 'people', {k: 1}, {'$inc': {k: 1}})", "6300:"},
        {"mongo_update_one(c, 'people', {'$bad': 1}, {'$set': {a: 1}})", "6305:"},
        {"mongo_update_one(5, 'people', {}, {})", "6420:"},
        {"mongo_delete_one(5, 'people', {})", "6485:"},
        {"mongo_delete_one(c, 'people', 5)", "6535:"},
        {"mongo_delete_one(c, 'people', '{_id: %1}')", "6495:"},
        {"mongo_delete_one(c, 'people', '{_id: %1}', 5)", "6500:"},
        {"mongo_delete_one(c, 'people', '{_id: %1}', [])", "6505:"},
        {"mongo_delete_one(c, 'people', '{_id: %1}', [5])", "6510:"},
        {"mongo_delete_one(c, 'people', '{_id: %1}', [[1], 5])", "6520:"},
        {"mongo_delete_one(c, 'people', '{_id: %2}', [[1, 2], [1]])", "6525:"},
        {"mongo_delete_one(c, 'people', {'$bad': 1})", "6490:"},
    };
    std::string before = dump("people");
    expect_errors(cases);
    EXPECT_EQ(dump("people"), before);
}

// The server goes away between two statements of one request: the second
// write raises, the request still answers, and nothing is reported as done
// that was not.
TEST_F(Writes, ServerStoppedMidRequest) {
    FerretDbServer own;
    ASSERT_TRUE(own.running()) << own.failure();
    std::string own_uri = "mongodb://127.0.0.1:" + std::to_string(own.port()) +
                          "/mid?serverSelectionTimeoutMS=1000&connectTimeoutMS=500&socketTimeoutMS=2000";
    seed("signal", "[]");
    box.write_file("app.js",
                   "function main() {\n"
                   "  var c = openDb(0, \"" + std::string(DRIVER_LIBRARIES) + "\", \"" + own_uri + "\");\n"
                   "  var s = openDb(0, \"" + std::string(DRIVER_LIBRARIES) + "\", \"" + ferretdb().uri(database) + "\");\n"
                   "  sendToFront('first', mongo_insert(c, 'orders', {_id: 1, item: 'tea'}));\n"
                   "  while (mongo_count(s, 'signal') == 0) { }\n"
                   "  sendToFront('second', mongo_insert(c, 'orders', {_id: 2, item: 'cup'}));\n"
                   "}\n");
    ProcessResult result;
    std::thread request([&] {
        result = box.cgi(script_request("main()", "app.js"));
    });
    // Once the first write is on the server, stop it and let the script go on.
    std::string first;
    for (int i = 0; i < 300 && first.empty(); ++i) {
        ProcessOptions options;
        options.args = {std::string(TOLV_SOURCE_DIR) + "/tests/db/mongo_peer.py",
                        "mongodb://127.0.0.1:" + std::to_string(own.port()) + "/", "dump", "mid", "orders"};
        first = run_process("/usr/bin/python3", options).out;
        if (first.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(first, "{\"_id\": 1, \"item\": \"tea\"}\n");
    own.stop();
    seed("signal", R"([{"_id": 1}])");
    request.join();
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.out.rfind(std::string(ANSWER_HEADER) + "s15firstO1S146415", 0), 0u) << result.out;
    EXPECT_EQ(result.out.find("second"), std::string::npos) << result.out;
}

}  // namespace
}  // namespace tolv::tests
