// mongo_aggregate: grouped totals over a server-sorted cursor.
#pragma once

namespace tolv {

void install_aggregation();

}  // namespace tolv
