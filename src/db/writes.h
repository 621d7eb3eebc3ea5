// mongo_insert, mongo_update_one, mongo_update_many, mongo_delete_one and
// mongo_delete_many.
#pragma once

namespace tolv {

void install_write_statements();

}  // namespace tolv
