// mongo_transaction, mongo_commit and mongo_rollback.
#pragma once

#include "db/connections.h"

namespace tolv {

// Commits the connection's open transaction, retrying while the driver
// labels the outcome unknown, for at most five seconds.
bool commit_with_retries(DbConnection& connection, bson_error_t& error);

void install_transaction_statements();

}  // namespace tolv
