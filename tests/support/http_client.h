// HTTP requests as a browser or an attacker sends them, through curl.
#pragma once

#include <string>
#include <vector>

namespace tolv::tests {

struct HttpAnswer {
    int status = 0;
    std::string body;
};

struct HttpRequest {
    std::string url;                   // sent as it is: no "/../" is resolved on the way
    std::string method = "GET";
    std::string body;                  // POST: sent as application/octet-stream
    std::vector<std::string> headers;  // "Name: value"
    std::string from;                  // local address to connect from ("" = any)
};

HttpAnswer http_request(const HttpRequest& request);
// A request without body or headers.
HttpAnswer http_request(const std::string& method, const std::string& url);

}  // namespace tolv::tests
