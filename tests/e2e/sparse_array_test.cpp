// A sparse array through the built runner: its keys, its length, and the
// front end's refusal of assoc arrays.
#include <gtest/gtest.h>

#include "support/request_records.h"
#include "support/runner_sandbox.h"

namespace tolv::tests {
namespace {

TEST(SparseArray, KeysLengthAndTheFrontEndsRefusal) {
    RunnerSandbox box;
    box.write_config("MODULE_DIR=" + box.dir() + "\nLOGFILE=" + box.path("journal.log") + "\n");
    box.write_file("app.js",
                   "function sparse() { var a = []; a[0] = \"x\"; a[5] = \"y\"; return a; }\n"
                   "function show() { var a = sparse(); console.log(a.length, \" \", a);\n"
                   "    for (k in a) console.log(k + 1); for (v of a) console.log(v); }\n"
                   "function send() { var a = sparse(); sendToFront(\"n\", a.length); sendToFront(\"a\", a); }\n"
                   "function held() { var a = [1]; var rows = []; for (var i = 0; i < 3; i++) rows.push({a: a});\n"
                   "    for (r of rows) { r.a[7] = 2; } console.log(a.length, \" \", rows[2].a, \" \", rows.length); }\n");
    ProcessResult shown = box.run({"-e", "show()", "app.js"});
    EXPECT_EQ(shown.out, "(L) 2 [0:\"x\",5:\"y\"]\n(L) 1\n(L) 6\n(L) x\n(L) y\n");
    // Held by several records and a loop when it changes form.
    EXPECT_EQ(box.run({"-e", "held()", "app.js"}).out, "(L) 2 [0:1,7:2] 3\n");

    ProcessResult sent = box.cgi(script_request("send()", "app.js"));
    EXPECT_EQ(sent.out.rfind(std::string(ANSWER_HEADER) + "s11nO2" + "S" + counted_text("1330") +
                                 counted_text("EVAL ERROR 1330 (app.js:4:65) : フロントエンドへ送信するデータの型不正"),
                             0),
              0u)
        << sent.out;
}

}  // namespace
}  // namespace tolv::tests
