// Dates through the parser and the evaluator, in a zone without summer time
// (UTC, Asia/Tokyo) and in one with it (America/New_York).
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "eval/script_fixture.h"

namespace tolv::tests {
namespace {

class Zone {
public:
    explicit Zone(const char* zone) {
        if (const char* old = std::getenv("TZ")) old_ = old, had_old_ = true;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~Zone() {
        if (had_old_) setenv("TZ", old_.c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }

private:
    std::string old_;
    bool had_old_ = false;
};

TEST_F(ScriptTest, DateConstructorForms) {
    Zone zone("UTC");
    const ScriptCase cases[] = {
        {"var d = new Date(2024, 0, 15, 10, 30, 5, 250); "
         "console.log(d, ' ', d.getTime(), ' ', d.getDay(), ' ', d.getMilliseconds(), ' ', typeof d);",
         "2024-01-15 10:30:05.250 1705314605250.0 1 250 object\n", ""},
        {"console.log(Date(2024, 1), ' ', new Date(70, 0, 1), ' ', new Date(2024, 12, 1), ' ', new Date(99, 0));",
         "2024-02-01 00:00:00 1970-01-01 00:00:00 2025-01-01 00:00:00 1999-01-01 00:00:00\n", ""},
        // Milliseconds past 999 carry into the seconds; numbers keep their milliseconds.
        {"console.log(new Date(2024, 0, 1, 0, 0, 59, 1500), ' ', new Date(86400250), ' ', new Date(1705314605250.9));",
         "2024-01-01 00:01:00.500 1970-01-02 00:00:00.250 2024-01-15 10:30:05.250\n", ""},
        {"console.log(new Date('2024-01-15 10:30:00'), ' ', Date('Jan 15, 2024 10:30:00.5'));",
         "2024-01-15 10:30:00 2024-01-15 10:30:00.500\n", ""},
        {"console.log(new Date(true), ' ', new Date([1]), ' ', new Date(null));", "undefined undefined undefined\n", ""},
        // Date.now() counts whole seconds; on a loaded machine seconds may pass between the readings.
        {"var d = new Date(); var t = d.getTime() - Date.now(); console.log(t > -5000 && t < 1000, ' ', Date.now() % 1000);",
         "true 0.0\n", ""},
        {"var d = new Date(69, 0, 1);", "", "5505"},
        {"var d = new Date(2024, 0, 0);", "", "5505"},
        {"var d = new Date(2024, -1, 1);", "", "5520"},
        {"var d = new Date(2024, '1');", "", "5520"},
        {"var d = new Date(2024, 1.5);", "", "5520"},
        {"var d = new Date(3001, 0, 1);", "", "5520"},
        {"var d = Date(1, 2, 3, 4, 5, 6, 7, 8);", "", "5525"},
        {"var d = new Date('1969-12-31 23:59:59');", "", "5505"},
        {"var d = new Date('2024-01-15');", "", "5515"},
        {"var d = new Date('Monday, Jan 15 2024 10:30:00');", "", "5510"},
        {"var d = new Date(-1);", "", "5500"},
        {"var d = new Date(-0.5 * 1000000);", "", "5500"},
        {"var d = new Date(1e300);", "", "5520"},
    };
    check(cases);
}

TEST_F(ScriptTest, DateStaticFunctions) {
    Zone zone("UTC");
    const ScriptCase cases[] = {
        {"console.log(Date.UTC(2024, 0, 15, 10, 30), ' ', Date.UTC(2024), ' ', Date.UTC(1970, 0, 1, 0, 0, 0, 5));",
         "1705314600000.0 1704067200000.0 5.0\n", ""},
        {"console.log(Date.parse('2024-01-15 10:30:00.250'), ' ', Date.parse('Mon, 15 Jan 2024 10:30:00 GMT'));",
         "1705314600250.0 1705314600000.0\n", ""},
        {"var n = Date.parse(5);", "", "5530"},
        {"var n = Date.UTC(1969);", "", "5505"},
        {"var n = Date.today();", "", "2085"},
        {"var n = Date.now(1);", "", "2093"},
        {"var n = Date.UTC();", "", "2090"},
        {"var n = Date.parse('a', 'b');", "", "2093"},
    };
    check(cases);
}

TEST_F(ScriptTest, DateGettersAndTextForms) {
    Zone zone("UTC");
    const ScriptCase cases[] = {
        {"var d = new Date(2024, 1, 29, 7, 8, 9, 45); "
         "console.log(d.getFullYear(), ' ', d.getMonth(), ' ', d.getDate(), ' ', d.getDay(), ' ', d.getHours(), ' ', "
         "d.getMinutes(), ' ', d.getSeconds(), ' ', d.getMilliseconds(), ' ', d.getTimezoneOffset());",
         "2024 1 29 4 7 8 9 45 0\n", ""},
        {"var d = new Date(2024, 1, 29, 7, 8, 9, 45); "
         "console.log(d.toDateString(), '|', d.toISOString(), '|', d.toJSON(), '|', d.toString(), '|', "
         "d.toTimeString(), '|', d.toUTCString());",
         "Thu Feb 29 2024|2024-02-29T07:08:09.045Z|2024-02-29T07:08:09.045Z|Thu Feb 29 2024 07:08:09 GMT+0000 "
         "(GMT+00:00)|07:08:09 GMT+0000|Thu, 29 Feb 2024 07:08:09 GMT\n",
         ""},
        // The ISO text reads back to the same fields; the parenthesis of toString does not.
        {"var d = new Date(2024, 1, 29, 7, 8, 9, 45); var e = new Date(d.toISOString()); "
         "console.log(e, ' ', e.getTime() == d.getTime(), ' ', new Date(d.toUTCString()));",
         "2024-02-29 07:08:09.045 true 2024-02-29 07:08:09\n", ""},
        {"var d = new Date(); var e = new Date(d.toString());", "", "5510"},
        {"var d = new Date(); d.getEpoch();", "", "5575"},
        {"var d = new Date(); d.toLocaleString();", "", "5575"},
        {"var d = new Date(); d.getDate(1);", "", "5585"},
        {"var d = new Date(); d.setHours();", "", "5580"},
        {"var d = new Date(); d.setHours(1, 2, 3, 4, 5);", "", "5585"},
    };
    check(cases);
}

TEST_F(ScriptTest, DateSettersCarryOver) {
    Zone zone("UTC");
    const ScriptCase cases[] = {
        {"var d = new Date(2024, 0, 31, 10); console.log(d.setMonth(1, 31), ' ', d);",
         "1709373600000.0 2024-03-02 10:00:00\n", ""},
        {"var d = new Date(2024, 0, 31, 10); d.setHours(25, 61, 61, 7); console.log(d);",
         "2024-02-01 02:02:01.007\n", ""},
        {"var d = new Date(2024, 0, 1, 0, 0, 0, 9); d.setMinutes(-1); console.log(d, ' ', d.getDay());",
         "2023-12-31 23:59:00.009 0\n", ""},
        {"var d = new Date(2024, 1, 29); d.setFullYear(2023); console.log(d); d.setFullYear(2025, 13, 1); console.log(d);",
         "2023-03-01 00:00:00\n2026-02-01 00:00:00\n", ""},
        {"var d = new Date(2024, 4, 5, 6); d.setDate(40); d.setSeconds(59, 999); console.log(d);",
         "2024-06-09 06:00:59.999\n", ""},
        {"var d = new Date(2024, 0, 1); console.log(d.setMilliseconds(7), ' ', d); console.log(d.setTime(86400250), ' ', d); "
         "console.log(d.setTime(1705314605250.7), ' ', d);",
         "1704067200007.0 2024-01-01 00:00:00.007\n86400250.0 1970-01-02 00:00:00.250\n"
         "1705314605250.0 2024-01-15 10:30:05.250\n", ""},
        // A date is shared by every variable that holds it.
        {"var a = new Date(2024, 0, 1); var b = a; b.setDate(9); console.log(a);", "2024-01-09 00:00:00\n", ""},
        // Dates after 2106 (beyond 32 bits of seconds) keep their instant.
        {"var d = new Date(3000, 11, 31, 23, 59, 59); console.log(d.getTime(), ' ', d.getDay()); d.setFullYear(9999); "
         "console.log(d, ' ', d.toISOString());",
         "32535215999000.0 3\n9999-12-31 23:59:59 9999-12-31T23:59:59.000Z\n", ""},
        {"var d = new Date(); d.setDate('1');", "", "5545"},
        {"var d = new Date(); d.setMilliseconds(1000);", "", "5565"},
        {"var d = new Date(); d.setSeconds(1, -1);", "", "5560"},
        {"var d = new Date(); d.setMinutes(1.5);", "", "5555"},
        {"var d = new Date(); d.setHours(1, 2, 3, 1000);", "", "5550"},
        {"var d = new Date(); d.setMonth('x');", "", "5540"},
        {"var d = new Date(); d.setFullYear(10000);", "", "5535"},
        {"var d = new Date(); d.setTime('0');", "", "5570"},
        {"var d = new Date(); d.setFullYear(1969);", "", "5505"},
        {"var d = new Date(); d.setMonth(-1);", "", "5505"},
        {"var d = new Date(); d.setDate(0);", "", "5505"},
        {"var d = new Date(1970, 0, 1); d.setHours(-1);", "", "5500"},
        {"var d = new Date(); d.setTime(-1);", "", "5500"},
    };
    check(cases);
}

TEST_F(ScriptTest, DateSetterErrorNamesTheMethod) {
    Zone zone("UTC");
    ScriptOutcome r = run("var d = new Date(); d.setDate('1');");
    EXPECT_EQ(r.error_code, "5545");
    EXPECT_NE(r.error_message.find("Dateのメソッド setDate 引数不正"), std::string::npos) << r.error_message;
}

TEST_F(ScriptTest, DateInTokyo) {
    Zone zone("Asia/Tokyo");
    const ScriptCase cases[] = {
        {"var d = new Date(2024, 0, 1, 5); console.log(d.getTimezoneOffset(), ' ', d.toString(), ' ', "
         "d.getUTCFullYear(), '-', d.getUTCMonth(), '-', d.getUTCDate(), ' ', d.getUTCDay(), ' ', d.getUTCHours());",
         "-540 Mon Jan 01 2024 05:00:00 GMT+0900 (GMT+09:00) 2023-11-31 0 20\n", ""},
        {"console.log(new Date(2024, 6, 1, 23, 59).toTimeString(), ' ', new Date(0), ' ', new Date(1970, 0, 1, 9).getTime());",
         "23:59:00 GMT+0900 1970-01-01 09:00:00 0.0\n", ""},
        {"console.log(new Date('Mon Jan 15 2024 10:30:00 GMT+0900'), ' ', new Date('15 January 2024 10:30:00 UTC'), ' ', "
         "new Date('Jan 15 2024 10:30:00 -05:00'), ' ', new Date('2024-01-15 10:30:00Z'));",
         "2024-01-15 10:30:00 2024-01-15 19:30:00 2024-01-16 00:30:00 2024-01-15 10:30:00\n", ""},
        {"console.log(Date.UTC(2024, 0, 1), ' ', new Date(2024, 0, 1, 9).getTime(), ' ', "
         "Date.parse('2024-01-01 09:00:00'));",
         "1704067200000.0 1704067200000.0 1704067200000.0\n", ""},
        // The ISO and UTC forms write the local fields.
        {"var d = new Date(2024, 0, 1, 5); console.log(d.toISOString(), ' ', d.toUTCString());",
         "2024-01-01T05:00:00.000Z Mon, 01 Jan 2024 05:00:00 GMT\n", ""},
        // 1970-01-01 00:00 in Tokyo is before the first instant.
        {"var d = new Date(70, 0, 1);", "", "5500"},
        {"var d = new Date('1970-01-01 08:59:59');", "", "5500"},
    };
    check(cases);
}

// Summer time: the fields a script gives are the fields it gets back, the
// offset is the one in effect at the date, and the same fields always give
// the same instant. An hour that does not exist moves forward; an hour that
// exists twice is read as standard time.
TEST_F(ScriptTest, DateAcrossSummerTime) {
    Zone zone("America/New_York");
    const ScriptCase cases[] = {
        {"var d = new Date(2024, 6, 1, 12); console.log(d, ' ', d.getTime(), ' ', d.getTimezoneOffset(), ' ', "
         "d.getUTCHours(), ' ', d.toTimeString());",
         "2024-07-01 12:00:00 1719849600000.0 240 16 12:00:00 GMT-0400\n", ""},
        {"var d = new Date(2024, 0, 1, 12); console.log(d.getTime(), ' ', d.getTimezoneOffset(), ' ', d.toString());",
         "1704128400000.0 300 Mon Jan 01 2024 12:00:00 GMT-0500 (GMT-05:00)\n", ""},
        {"console.log(new Date(2024, 2, 10, 2, 30), ' ', new Date('2024-03-10 02:30:00').getTime());",
         "2024-03-10 03:30:00 1710055800000.0\n", ""},
        {"var d = new Date(2024, 10, 3, 1, 30); console.log(d, ' ', d.getTime(), ' ', d.toTimeString());",
         "2024-11-03 01:30:00 1730615400000.0 01:30:00 GMT-0500\n", ""},
        // Setters move across the change without shifting the hour.
        {"var d = new Date(2024, 0, 15, 12); d.setMonth(6); console.log(d); d.setHours(d.getHours()); "
         "d.setDate(d.getDate()); console.log(d); d.setMonth(11); console.log(d, ' ', d.getTimezoneOffset());",
         "2024-07-15 12:00:00\n2024-07-15 12:00:00\n2024-12-15 12:00:00 300\n", ""},
        // Whatever was converted before, the same fields give the same instant.
        {"var a = new Date(2024, 10, 3, 1, 30).getTime(); var s = new Date(2024, 6, 1, 1, 30); "
         "var g = new Date(2024, 2, 10, 2, 30); var w = new Date(2024, 0, 1, 1, 30); "
         "var b = new Date(2024, 10, 3, 1, 30).getTime(); var c = Date.parse('2024-11-03 01:30:00'); "
         "console.log(a == b, ' ', b == c);",
         "true true\n", ""},
        {"console.log(new Date('Jul 1 2024 16:00:00 GMT'), ' ', Date.UTC(2024, 6, 1, 16) == new Date(2024, 6, 1, 12).getTime());",
         "2024-07-01 12:00:00 true\n", ""},
        {"console.log(new Date(1970, 0, 1), ' ', new Date(1970, 0, 1).getTime());", "1970-01-01 00:00:00 18000000.0\n",
         ""},
        // The first instant is still 1969 here.
        {"var d = new Date(0);", "", "5500"},
    };
    check(cases);
}

}  // namespace
}  // namespace tolv::tests
