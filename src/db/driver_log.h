// The driver's own log lines. Its default handler writes them to standard
// output and error: in a CGI run that is the answer stream and the web
// server's error log. Ours keeps warnings and errors in the request's journal
// and drops the rest.
#pragma once

namespace tolv {

// Installs the handler; called once the driver is bound and before its first
// use (mongoc_init).
void install_driver_log_handler();

}  // namespace tolv
