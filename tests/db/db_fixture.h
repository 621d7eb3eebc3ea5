// Database tests run scripts through the built runner against the shared
// FerretDB server, each test in a database of its own.
#pragma once

#include <gtest/gtest.h>

#include <span>
#include <string>
#include <vector>

#include "support/ferretdb_server.h"
#include "support/runner_sandbox.h"

namespace tolv::tests {

struct ErrorCase {
    const char* statement;
    const char* expected;  // the error value's text starts with this
};

constexpr const char* OPEN_CONNECTION = "  var c = openDb(0, lib(), uri());\n";

class DbTest : public ::testing::Test {
protected:
    void SetUp() override;

    // Replaces the collection's documents (extended JSON array) through pymongo.
    void seed(const std::string& collection, const std::string& json) const;
    // The collection's documents as pymongo sees them, one JSON line each, by _id.
    std::string dump(const std::string& collection) const;
    std::string peer(const std::vector<std::string>& args) const;

    // Runs main() of `script`; the module also defines uri() (this test's
    // database on the server) and lib() (the driver's files). Returns the
    // console lines without their "(L) " marks.
    std::string run(const std::string& script) const;
    // run() with the error positions " (test.js:L:C)" taken out.
    std::string run_plain(const std::string& script) const;
    ProcessResult run_raw(const std::string& script) const;
    // Runs each statement in its own try after `prelude` and expects the
    // text of the error it raises to start with its `expected` ("no error"
    // when it raises none).
    void expect_errors(std::span<const ErrorCase> cases, const std::string& prelude = OPEN_CONNECTION) const;

    std::string database;
    RunnerSandbox box;
};

}  // namespace tolv::tests
