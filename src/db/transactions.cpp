#include "db/transactions.h"

#include <ctime>

#include "db/operands.h"
#include "eval/library_hooks.h"
#include "runtime/errors.h"

namespace tolv {

namespace {

constexpr int64_t COMMIT_RETRY_MICROSECONDS = 5'000'000;
constexpr int32_t DEFAULT_WRITE_TIMEOUT_MS = 10000;

// Ends the transaction's session and gives the connection a fresh, empty
// session document: later writes run outside any transaction.
void end_transaction(DbConnection& c) {
    drop_session(c);
    g_bson.bson_destroy(c.session_document);
    c.session_document = g_bson.bson_new();
}

ValueHandle mongo_transaction(ValueHandle cell) {
    const OperationCell* op = operation_cell(cell);
    HeldOperand target(op, 0);
    DbConnection& c = connection_operand(target, Error::BAD_CONNECTION_6555);
    if (c.session) raise(Error::BAD_TRANSACTION);
    std::string level = "snapshot";
    int32_t timeout = DEFAULT_WRITE_TIMEOUT_MS;
    if (operand_count(op) > 1) {
        HeldOperand mode(op, 1);
        if (mode.kind() != KIND_STRING) raise(Error::BAD_TRANSACTION_READ_MODE);
        if (string_length(mode.get()) > 0) level.assign(string_text(mode.get()), string_length(mode.get()));
    }
    if (operand_count(op) > 2) {
        HeldOperand limit(op, 2);
        if (limit.kind() != KIND_INTEGER) raise(Error::BAD_TRANSACTION_TIMEOUT);
        timeout = integer_value(limit.get());
    }
    c.default_transaction_options = g_mongoc.mongoc_transaction_opts_new();
    c.read_concern = g_mongoc.mongoc_read_concern_new();
    g_mongoc.mongoc_read_concern_set_level(c.read_concern, level.c_str());
    g_mongoc.mongoc_transaction_opts_set_read_concern(c.default_transaction_options, c.read_concern);
    c.session_options = g_mongoc.mongoc_session_opts_new();
    g_mongoc.mongoc_session_opts_set_default_transaction_opts(c.session_options, c.default_transaction_options);
    bson_error_t error;
    c.session = g_mongoc.mongoc_client_start_session(c.client, c.session_options, &error);
    if (!c.session) {
        drop_session(c);
        raise(Error::SESSION_START_FAILED, error.message);
    }
    c.transaction_options = g_mongoc.mongoc_transaction_opts_new();
    c.write_concern = g_mongoc.mongoc_write_concern_new();
    g_mongoc.mongoc_write_concern_set_wmajority(c.write_concern, timeout);
    g_mongoc.mongoc_transaction_opts_set_write_concern(c.transaction_options, c.write_concern);
    if (!g_mongoc.mongoc_client_session_append(c.session, c.session_document, &error)) {
        end_transaction(c);
        raise(Error::SESSION_OPTION_FAILED, error.message);
    }
    if (!g_mongoc.mongoc_client_session_start_transaction(c.session, c.transaction_options, &error)) {
        end_transaction(c);
        raise(Error::TRANSACTION_START_FAILED, error.message);
    }
    return VALUE_UNDEFINED;
}

ValueHandle mongo_commit(ValueHandle cell) {
    HeldOperand target(operation_cell(cell), 0);
    DbConnection& c = connection_operand(target, Error::BAD_CONNECTION_6600);
    if (!c.session) raise(Error::BAD_SESSION);
    bson_error_t error;
    bool done = commit_with_retries(c, error);
    end_transaction(c);
    if (!done) raise(Error::COMMIT_FAILED, error.message);
    return VALUE_UNDEFINED;
}

ValueHandle mongo_rollback(ValueHandle cell) {
    HeldOperand target(operation_cell(cell), 0);
    DbConnection& c = connection_operand(target, Error::BAD_CONNECTION_6590);
    if (!c.session) raise(Error::BAD_ROLLBACK);
    g_mongoc.mongoc_client_session_abort_transaction(c.session, nullptr);
    end_transaction(c);
    return VALUE_UNDEFINED;
}

}  // namespace

bool commit_with_retries(DbConnection& c, bson_error_t& error) {
    int64_t start = g_bson.bson_get_monotonic_time();
    error.message[0] = '\0';
    while (g_bson.bson_get_monotonic_time() - start < COMMIT_RETRY_MICROSECONDS) {
        bson_t reply;
        bool done = g_mongoc.mongoc_client_session_commit_transaction(c.session, &reply, &error);
        bool unknown = !done && g_mongoc.mongoc_error_has_label(&reply, "UnknownTransactionCommitResult");
        g_bson.bson_destroy(&reply);
        if (done) return true;
        if (!unknown) return false;
        struct timespec pause = {0, 50'000'000};
        nanosleep(&pause, nullptr);
    }
    return false;
}

void install_transaction_statements() {
    g_keyword_hooks[OP_MONGO_TRANSACTION - OP_FIRST] = mongo_transaction;
    g_keyword_hooks[OP_MONGO_COMMIT - OP_FIRST] = mongo_commit;
    g_keyword_hooks[OP_MONGO_ROLLBACK - OP_FIRST] = mongo_rollback;
}

}  // namespace tolv
