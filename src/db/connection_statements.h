// openDb, closeDb, mongo_use_db, mongo_current_db, mongo_get_database,
// mongo_get_collection and mongo_collection_name.
#pragma once

namespace tolv {

void install_connection_statements();

}  // namespace tolv
