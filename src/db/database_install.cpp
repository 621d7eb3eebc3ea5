#include "db/database_install.h"

#include "db/administration.h"
#include "db/aggregation.h"
#include "db/connection_statements.h"
#include "db/connections.h"
#include "db/driver_api.h"
#include "db/queries.h"
#include "db/transactions.h"
#include "db/writes.h"

namespace tolv {

void install_database() {
    install_connection_statements();
    install_query_statements();
    install_aggregation();
    install_write_statements();
    install_transaction_statements();
    install_administration_statements();
}

void end_database_run() {
    if (driver_bound()) close_all_connections();
}

}  // namespace tolv
