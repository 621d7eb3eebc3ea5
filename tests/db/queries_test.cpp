// Queries in every shape, and the conversions between documents and values.
#include <gtest/gtest.h>

#include "db/db_fixture.h"

namespace tolv::tests {
namespace {

class Queries : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        seed("items", R"([
            {"_id": 1, "code": "A1", "name": "pen", "price": 1.5, "qty": 10, "tags": ["red", "blue"],
             "size": {"w": 2, "h": 3}},
            {"_id": 2, "code": "B2", "name": "ink", "price": 4.25, "qty": 0, "tags": []},
            {"_id": 3, "code": "C3", "price": 9.0, "qty": 7, "active": true, "gone": null}
        ])");
    }
};

TEST_F(Queries, FindGivesRowsOfTheRequestedFields) {
    EXPECT_EQ(run_plain("function main() {\n"
                        "  var c = openDb(0, lib(), uri());\n"
                        "  console.log(mongo_find(c, ['items', {}, 'name']));\n"
                        "  console.log(mongo_find(c, ['items', {}, ['_id', 'name', 'qty']]));\n"
                        "  console.log(mongo_find(c, ['items', {qty: {'$gt': 5}}, ['code', 'tags', 'size']]));\n"
                        "  console.log(mongo_find(c, ['items', {}, 'code', {sort: {price: -1}, limit: 2}]));\n"
                        "  console.log(mongo_find(c, ['items', {}, 'code', {skip: 2}]));\n"
                        "  console.log(mongo_find(c, ['" + database + ".items', {code: 'B2'}, 'price']));\n"
                        "  console.log(mongo_find(c, [mongo_get_collection(c, 'items'), {name: 'none'}, 'price']));\n"
                        "}\n"),
              "[[\"pen\"],[\"ink\"],[undefined]]\n"
              "[[1,\"pen\",10],[2,\"ink\",0],[3,undefined,7]]\n"
              "[[\"A1\",[\"red\",\"blue\"],{'w':2,'h':3}],[\"C3\",undefined,undefined]]\n"
              "[[\"C3\"],[\"B2\"]]\n"
              "[[\"C3\"]]\n"
              "[[4.25]]\n"
              "[]\n");
}

TEST_F(Queries, FindHashGivesWholeDocumentsAndEveryKindComesBack) {
    EXPECT_EQ(run_plain("function main() {\n"
                        "  var c = openDb(0, lib(), uri());\n"
                        "  var all = mongo_find_hash(c, 'items');\n"
                        "  console.log(all[0]);\n"
                        "  console.log(all[2]);\n"
                        "  console.log(mongo_find_hash(c, ['items', {_id: 2}, ['name', 'price']]));\n"
                        "  console.log(mongo_find_hash(c, ['items', {_id: 2}, 'name']));\n"
                        "}\n"),
              "{_id:1,code:\"A1\",name:\"pen\",price:1.5,qty:10,tags:[\"red\",\"blue\"],size:{'w':2,'h':3}}\n"
              "{_id:3,code:\"C3\",price:9.0,qty:7,active:true,gone:undefined}\n"
              "[{'name':\"ink\",'price':4.25}]\n"
              "[{'name':\"ink\"}]\n");
}

// Values go to the server as filters; a document read back and sent again
// as a filter must match itself, dates and nested values included.
TEST_F(Queries, ValuesSurviveTheRoundTrip) {
    seed("kinds", R"([
        {"_id": {"$oid": "65a1b2c3d4e5f60718293a4b"}, "when": {"$date": "2024-02-29T23:59:58.250Z"},
         "n": 7, "x": -0.5, "s": "日本語", "list": [1, "two", {"k": "v"}, 2.5], "doc": {"in": {"deep": 1}}},
        {"_id": 2, "when": {"$date": "1970-01-01T00:00:00Z"}, "n": 8},
        {"_id": 3, "when": {"$date": "2200-03-04T05:06:07.089Z"}, "n": 9}
    ])");
    EXPECT_EQ(run_plain("function main() {\n"
                        "  var c = openDb(0, lib(), uri());\n"
                        "  var docs = mongo_find_hash(c, ['kinds', {n: 7}, ['when', 'n', 'x', 's', 'list', 'doc']]);\n"
                        "  console.log(docs[0]);\n"
                        "  console.log(mongo_count(c, 'kinds', docs[0]));\n"
                        "  var w = mongo_find(c, ['kinds', {_id: {'$ne': 3}}, ['_id', 'when']]);\n"
                        "  var late = mongo_find(c, ['kinds', {_id: 3}, 'when'])[0][0];\n"
                        "  console.log(late, ' ', mongo_count(c, 'kinds', {when: late}));\n"
                        "  console.log(w);\n"
                        "  console.log(mongo_find(c, ['kinds', {_id: 2, when: w[1][1]}, 'n']));\n"
                        "  console.log(mongo_count(c, 'kinds', {when: {'$gt': w[1][1]}}));\n"
                        "}\n"),
              "{when:2024-02-29 23:59:58.250,n:7,x:-0.5,s:\"日本語\",list:[1,\"two\",{'k':\"v\"},2.5],"
              "doc:{'in':{'deep':1}}}\n"
              "1\n"
              "2200-03-04 05:06:07.089 1\n"
              "[[\"65a1b2c3d4e5f60718293a4b\",2024-02-29 23:59:58.250],[2,1970-01-01 00:00:00]]\n"
              "[[8]]\n"
              "2\n");
}

TEST_F(Queries, TypesWithoutAScriptFormAreRefused) {
    seed("odd", R"([
        {"_id": 1, "big": {"$numberLong": "5"}},
        {"_id": 2, "bin": {"$binary": {"base64": "AAE=", "subType": "00"}}},
        {"_id": 3, "re": {"$regularExpression": {"pattern": "a", "options": ""}}},
        {"_id": 4, "when": {"$date": {"$numberLong": "-1000"}}}
    ])");
    EXPECT_EQ(run_plain("function main() {\n"
                        "  var c = openDb(0, lib(), uri());\n"
                        "  try { mongo_find_hash(c, ['odd', {_id: 1}]); } catch (e) { console.log(e); }\n"
                        "  try { mongo_find_hash(c, ['odd', {_id: 2}]); } catch (e) { console.log(e); }\n"
                        "  try { mongo_find(c, ['odd', {_id: 3}, 're']); } catch (e) { console.log(e); }\n"
                        "  try { mongo_find(c, ['odd', {_id: 4}, 'when']); } catch (e) { console.log(e); }\n"
                        "  console.log(mongo_find(c, ['odd', {_id: 1}, '_id']));\n"
                        "}\n"),
              "6060:EVAL ERROR 6060 : 64ビットの整数は使用できません\n"
              "6065:EVAL ERROR 6065 : mongo bsonのデータタイプ不正\n"
              "6065:EVAL ERROR 6065 : mongo bsonのデータタイプ不正\n"
              "5500:EVAL ERROR 5500 : Date関連ステートメント不正(1970/01/01以前の年月日)\n"
              "[[1]]\n");
}

TEST_F(Queries, QueryArgumentsOfTheWrongShapeAreRefused) {
    const ErrorCase cases[] = {
        {"mongo_find(c, 'items')", "6150:"},
        {"mongo_find(c, 5)", "6145:"},
        {"mongo_find(c, [])", "6115:"},
        {"mongo_find(c, ['items', 5, 'a'])", "6120:"},
        {"mongo_find(c, ['items', {}, 5])", "6140:"},
        {"mongo_find(c, ['items', {}, ['a', 5]])", "6130:"},
        {"mongo_find(c, ['items', {}, 'a', 5])", "6110:"},
        {"mongo_find(5, 'items')", "6105:"},
        {"record_hash(c, ['items', {}, ['code']])", "6125:"},
        {"record_hash(c, ['items', {}, 'code'])", "6140:"},
        {"mongo_count(c, 'items', 5)", "6330:"},
        {"mongo_count(5, 'items')", "6325:"},
        {"mongo_find(c, ['items', {'$bad': 1}, 'a'])", "6155:"},
        {"record_map(c, ['items', {}, ['code']], '%1 %')", "6160:"},
        {"record_map(c, ['items', {}, ['code']], 5)", "6170:"},
        {"record_map(c, ['items', {}], 'x')", "6175:"},
        {"record_map(c, ['items', 5, ['code']], 'x')", "6180:"},
        {"record_map(c, ['items', {}, []], 'x')", "6185:"},
        {"record_map(c, ['items', {}, [5]], 'x')", "6190:"},
        {"record_map(c, ['items', {}, ['code'], 5], 'x')", "6195:"},
        {"record_map(5, ['items', {}, ['code']], 'x')", "6165:"},
    };
    expect_errors(cases);
}

TEST_F(Queries, RecordHashMapAndCount) {
    seed("codes", R"([{"_id": 1, "k": 1.5, "v": "a"}, {"_id": 2, "k": 7, "v": "b"},
                      {"_id": 3, "k": {"$numberLong": "9"}, "v": "c"}])");
    EXPECT_EQ(run_plain("function main() {\n"
                        "  var c = openDb(0, lib(), uri());\n"
                        "  console.log(record_hash(c, ['items', {_id: {'$lt': 3}}, ['code', 'name']]));\n"
                        "  try { record_hash(c, ['items', {}, ['code', 'name']]); } catch (e) { console.log(e); }\n"
                        "  console.log(record_hash(c, ['codes', {_id: {'$lt': 3}}, ['k', 'v']]));\n"
                        "  try { record_hash(c, ['codes', {}, ['k', 'v']]); } catch (e) { console.log(e); }\n"
                        "  var total = 0;\n"
                        "  record_map(c, ['items', {}, ['qty', 'price'], {sort: {_id: 1}}],"
                        " \"total = total + %1 * %2; console.log('%', %0, \\\"%2\\\")\");\n"
                        "  console.log(total);\n"
                        "  console.log(mongo_count(c, 'items'), ' ', mongo_count(c, 'items', {qty: {'$gt': 5}}));\n"
                        "}\n"),
              "{A1:\"pen\",B2:\"ink\"}\n"
              "6065:EVAL ERROR 6065 : mongo bsonのデータタイプ不正\n"
              "{1.500000:\"a\",7:\"b\"}\n"
              "6070:EVAL ERROR 6070 : 64ビットの整数は使用できません\n"
              "%[10,1.5]%2\n"
              "%[0,4.25]%2\n"
              "%[7,9.0]%2\n"
              "78.0\n"
              "3 2\n");
}

}  // namespace
}  // namespace tolv::tests
