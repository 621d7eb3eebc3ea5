// mongo_aggregate against the server's own $group over the same documents.
#include <gtest/gtest.h>

#include "db/db_fixture.h"

namespace tolv::tests {
namespace {

class Aggregation : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        seed("staff", R"([
            {"_id": 1, "dept": "A", "region": "east", "salary": 100, "bonus": "12"},
            {"_id": 2, "dept": "A", "region": "west", "salary": 50, "bonus": "1.5"},
            {"_id": 3, "dept": "B", "region": "east", "salary": 70.5, "bonus": "3"},
            {"_id": 4, "dept": "B", "region": "north", "salary": 30, "bonus": "4"},
            {"_id": 5, "dept": "A", "region": "east", "salary": 10, "bonus": "0"}
        ])");
    }
};

TEST_F(Aggregation, KeyGroupsSubGroupsAndTotals) {
    EXPECT_EQ(run_plain("function main() {\n"
                        "  var c = openDb(0, lib(), uri());\n"
                        "  console.log(mongo_aggregate(c, 'staff', {key: 'dept', sum: 'salary', count: 1}));\n"
                        "  console.log(mongo_aggregate(c, 'staff', {key: 'dept', group: 'region', sum: 'salary', count: 1,"
                        " total_count: 1, total: 'salary'}));\n"
                        "  console.log(mongo_aggregate(c, 'staff', {key: 'dept', group: 'region', sum: 'salary'}, ['west', 'east']));\n"
                        "  console.log(mongo_aggregate(c, 'staff', {sum: 'bonus'}));\n"
                        "  console.log(mongo_aggregate(c, ['staff', {dept: 'Z'}], {key: 'dept', max: 'salary'}));\n"
                        "  console.log(mongo_aggregate(c, ['staff', {dept: 'Z'}], {max: 'salary', min: 'salary', average: 'salary'}));\n"
                        "  console.log(mongo_aggregate(c, ['staff', {dept: 'A'}], {key: {dept: -1}, max: 'salary', min: 'salary',"
                        " average: 'salary', value: 'bonus'}));\n"
                        "  console.log(mongo_aggregate(c, 'staff', {key: ['dept', 'region'], count: 1}));\n"
                        "}\n"),
              "[[\"A\",\"\",[160,3]],[\"B\",\"\",[100.5,2]]]\n"
              "[[\"A\",\"(east)(west)\",[[110,2],[50,1],3,160]],[\"B\",\"(east)(north)\",[[70.5,1],[30,1],2,100.5]]]\n"
              "[[\"A\",\"(west)(east)\",[50,110]],[\"B\",\"(west)(east)\",[0,70.5]]]\n"
              "[[\"\",\"\",20.5]]\n"
              "[]\n"
              "[[\"\",\"\",[-2147483632,2147483632,0.0]]]\n"
              "[[\"A\",\"\",[100,10,53.3333333333,\"0\"]]]\n"
              "[[\"Aeast\",\"\",2],[\"Awest\",\"\",1],[\"Beast\",\"\",1],[\"Bnorth\",\"\",1]]\n");
}

// The same sums as the server's $group, read through the independent client.
// (FerretDB's $group has no $max, $min or $avg, and a second accumulator
// beside a $sum of a field comes back as 0: one accumulator is compared.)
TEST_F(Aggregation, SumsAgreeWithTheServersGroup) {
    std::string server = peer({"aggregate", database, "staff",
                               R"([{"$group": {"_id": "$dept", "s": {"$sum": "$salary"}}},
                                   {"$sort": {"_id": 1}}])"});
    EXPECT_EQ(server, "{\"_id\": \"A\", \"s\": 160}\n{\"_id\": \"B\", \"s\": 100.5}\n");
    EXPECT_EQ(run_plain("function main() {\n"
                        "  var c = openDb(0, lib(), uri());\n"
                        "  console.log(mongo_aggregate(c, 'staff', {key: 'dept', count: 1, sum: 'salary'}));\n"
                        "}\n"),
              "[[\"A\",\"\",[3,160]],[\"B\",\"\",[2,100.5]]]\n");
}

// Fields the grouping does not name are passed over whatever their type: a
// Date written by a script, and a date, an embedded document, an array and
// binary data stored by another client.
TEST_F(Aggregation, FieldsTheGroupingDoesNotNameAreSkippedWhateverTheirType) {
    seed("days", R"([
        {"_id": 1, "day": "d1", "n": 2, "when": {"$date": "2026-12-10T10:00:00Z"}},
        {"_id": 2, "day": "d1", "n": 3, "tags": ["a", "b"], "who": {"name": "x"}},
        {"_id": 3, "day": "d3", "n": 1, "blob": {"$binary": {"base64": "AAEC", "subType": "00"}}}
    ])");
    EXPECT_EQ(run_plain("function main() {\n"
                        "  var c = openDb(0, lib(), uri());\n"
                        "  mongo_insert(c, 'days', {day: 'd2', n: 5, when: new Date()});\n"
                        "  console.log(mongo_aggregate(c, 'days', {key: 'day', count: 1, sum: 'n'}));\n"
                        "  console.log(mongo_aggregate(c, 'days', {group: 'day', count: 1}));\n"
                        "  console.log(mongo_find(c, ['days', {}, ['day', 'n']]).length);\n"
                        "}\n"),
              "[[\"d1\",\"\",[2,5]],[\"d2\",\"\",[1,5]],[\"d3\",\"\",[1,1]]]\n"
              "[[\"\",\"(d1)(d3)(d2)\",[2,1,1]]]\n"
              "4\n");
}

TEST_F(Aggregation, BadGroupingsAndValuesAreRefused) {
    seed("odd", R"([{"_id": 1, "v": "abc"}])");
    seed("nested", R"([{"_id": 1, "v": 2, "sub": {"a": 1}}])");
    const ErrorCase cases[] = {
        {"mongo_aggregate(5, 'staff', {count: 1})", "6810:"},
        {"mongo_aggregate(c, [], {count: 1})", "6815:"},
        {"mongo_aggregate(c, ['staff', 5], {count: 1})", "6820:"},
        {"mongo_aggregate(c, 5, {count: 1})", "6825:"},
        {"mongo_aggregate(c, 'staff', {sum: 'salary', group: 'region'}, 5)", "6830:"},
        {"mongo_aggregate(c, 'staff', {sum: 'salary', group: 'region'}, [{}])", "6420:"},
        {"mongo_aggregate(c, 'staff', 5)", "6845:"},
        {"mongo_aggregate(c, 'staff', {key: 5, count: 1})", "6865:"},
        {"mongo_aggregate(c, 'staff', {group: 5, count: 1})", "6875:"},
        {"mongo_aggregate(c, 'staff', {sum: 5})", "6885:"},
        {"mongo_aggregate(c, 'staff', {sum: ['salary', 5]})", "6205:"},
        {"mongo_aggregate(c, 'staff', {total: 5})", "6205:"},
        {"mongo_aggregate(c, 'staff', {median: 'salary'})", "6890:"},
        {"mongo_aggregate(c, 'staff', {count: 1})", "6910:"},
        {"mongo_aggregate(c, 'staff', {key: 'dept'})", "6435:EVAL ERROR 6435 : mongo_aggregate集合関数の引数不正"},
        {"mongo_aggregate(c, 'staff', {key: 'dept', sum: 'salary'}, ['east'])",
         "6435:EVAL ERROR 6435 : sql_aggregate集合関数の引数不正"},
        {"mongo_aggregate(c, ['nested', {}], {sum: 'sub'})", "6210:"},
        {"mongo_aggregate(c, ['nested', {}], {key: 'sub', count: 1})", "6210:"},
        {"mongo_aggregate(c, ['odd', {}], {key: 'v', sum: 'v'})", "6355:"},
        {"mongo_aggregate(c, ['odd', {}], {key: 'v', max: 'v'})", "6360:"},
        {"mongo_aggregate(c, ['odd', {}], {key: 'v', min: 'v'})", "6365:"},
        {"mongo_aggregate(c, 'staff', {key: {'$bad': 1}, count: 1, sum: 'salary'})", "6920:"},
    };
    expect_errors(cases);
}

}  // namespace
}  // namespace tolv::tests
