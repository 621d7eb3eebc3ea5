// The client's IPv4 address from the CGI environment.
#pragma once

#include "platform/ipv4.h"

namespace tolv {

// HTTP_X_FORWARDED_FOR (the text before its first comma, blanks trimmed),
// else REMOTE_ADDR; "::1" is 127.0.0.1; anything unparsable is 0.0.0.0.
Ipv4 client_address_from_environment();
Ipv4 client_address_from_text(const char* text);

}  // namespace tolv
