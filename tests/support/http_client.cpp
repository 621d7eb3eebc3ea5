#include "support/http_client.h"

#include <cstdlib>

#include "support/runner_sandbox.h"

namespace tolv::tests {

HttpAnswer http_request(const HttpRequest& request) {
    ProcessOptions options;
    options.args = {"-s", "-S", "--max-time", "60", "--path-as-is", "-o", "-", "-w", "\n%{http_code}",
                    "-X", request.method};
    if (request.method == "POST") {
        options.args.insert(options.args.end(),
                            {"-H", "Content-Type: application/octet-stream", "--data-binary", "@-"});
        options.input = request.body;
    }
    for (const std::string& header : request.headers) {
        options.args.push_back("-H");
        options.args.push_back(header);
    }
    if (!request.from.empty()) {
        options.args.push_back("--interface");
        options.args.push_back(request.from);
    }
    options.args.push_back(request.url);
    ProcessResult result = run_process("/usr/bin/curl", options);
    HttpAnswer answer;
    size_t newline = result.out.rfind('\n');
    if (newline == std::string::npos) return answer;
    answer.status = std::atoi(result.out.c_str() + newline + 1);
    answer.body = result.out.substr(0, newline);
    return answer;
}

HttpAnswer http_request(const std::string& method, const std::string& url) {
    HttpRequest request;
    request.method = method;
    request.url = url;
    return http_request(request);
}

}  // namespace tolv::tests
