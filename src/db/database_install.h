// The database bridge's part in start-up and shutdown.
#pragma once

namespace tolv {

// Puts every database keyword operation into the evaluator's keyword table.
void install_database();
// Closes what scripts left open; runs after the run, also after an error.
void end_database_run();

}  // namespace tolv
