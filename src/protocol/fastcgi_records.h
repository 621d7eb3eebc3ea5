// The FastCGI record layer: 8-byte headers, name-value pairs and the records
// a responder sends. Only the responder role is served and one request per
// connection (no multiplexing).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tolv {

enum FastcgiType : uint8_t {
    FCGI_BEGIN_REQUEST = 1,
    FCGI_ABORT_REQUEST = 2,
    FCGI_END_REQUEST = 3,
    FCGI_PARAMS = 4,
    FCGI_STDIN = 5,
    FCGI_STDOUT = 6,
    FCGI_STDERR = 7,
    FCGI_DATA = 8,
    FCGI_GET_VALUES = 9,
    FCGI_GET_VALUES_RESULT = 10,
    FCGI_UNKNOWN_TYPE = 11,
};

constexpr uint16_t FCGI_RESPONDER = 1;
constexpr uint8_t FCGI_KEEP_CONN = 1;
constexpr uint8_t FCGI_REQUEST_COMPLETE = 0;
constexpr uint8_t FCGI_CANT_MPX_CONN = 1;
constexpr uint8_t FCGI_UNKNOWN_ROLE = 3;
constexpr size_t FCGI_HEADER_SIZE = 8;
constexpr size_t FCGI_CONTENT_LIMIT = 65535;

struct FastcgiHeader {
    uint8_t version = 0;
    uint8_t type = 0;
    uint16_t request_id = 0;
    uint16_t content_length = 0;
    uint8_t padding_length = 0;
};

// Reads a header from 8 bytes.
FastcgiHeader decode_fastcgi_header(const uint8_t* bytes);

// Appends one record (content at most FCGI_CONTENT_LIMIT bytes, padded to 8).
void append_fastcgi_record(std::string& out, uint8_t type, uint16_t request_id, const char* content, size_t length);
// Appends `length` bytes as stream records of `type`, split at the record
// limit; nothing for length 0 (the empty record ends a stream, and is sent
// on its own).
void append_fastcgi_stream(std::string& out, uint8_t type, uint16_t request_id, const char* data, size_t length);
void append_fastcgi_end_request(std::string& out, uint16_t request_id, uint32_t app_status, uint8_t protocol_status);

using FastcgiPairs = std::vector<std::pair<std::string, std::string>>;
// Decodes name-value pairs (1- or 4-byte lengths). False when a length runs
// past the end.
bool decode_fastcgi_pairs(const char* data, size_t length, FastcgiPairs& pairs);
void append_fastcgi_pair(std::string& out, const std::string& name, const std::string& value);

}  // namespace tolv
