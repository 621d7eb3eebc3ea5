#include "protocol/fastcgi_records.h"

namespace tolv {

namespace {

void put_length(std::string& out, size_t length) {
    if (length < 128) {
        out.push_back(char(length));
        return;
    }
    out.push_back(char(0x80 | ((length >> 24) & 0x7F)));
    out.push_back(char((length >> 16) & 0xFF));
    out.push_back(char((length >> 8) & 0xFF));
    out.push_back(char(length & 0xFF));
}

bool take_length(const unsigned char* data, size_t length, size_t& at, size_t& value) {
    if (at >= length) return false;
    if (data[at] < 128) {
        value = data[at++];
        return true;
    }
    if (length - at < 4) return false;
    value = (size_t(data[at] & 0x7F) << 24) | (size_t(data[at + 1]) << 16) | (size_t(data[at + 2]) << 8) |
            size_t(data[at + 3]);
    at += 4;
    return true;
}

}  // namespace

FastcgiHeader decode_fastcgi_header(const uint8_t* bytes) {
    FastcgiHeader header;
    header.version = bytes[0];
    header.type = bytes[1];
    header.request_id = uint16_t((bytes[2] << 8) | bytes[3]);
    header.content_length = uint16_t((bytes[4] << 8) | bytes[5]);
    header.padding_length = bytes[6];
    return header;
}

void append_fastcgi_record(std::string& out, uint8_t type, uint16_t request_id, const char* content, size_t length) {
    const size_t padding = (8 - length % 8) % 8;
    const char header[FCGI_HEADER_SIZE] = {1,
                                           char(type),
                                           char(request_id >> 8),
                                           char(request_id & 0xFF),
                                           char((length >> 8) & 0xFF),
                                           char(length & 0xFF),
                                           char(padding),
                                           0};
    out.append(header, FCGI_HEADER_SIZE);
    out.append(content, length);
    out.append(padding, '\0');
}

void append_fastcgi_stream(std::string& out, uint8_t type, uint16_t request_id, const char* data, size_t length) {
    while (length > 0) {
        const size_t piece = length < FCGI_CONTENT_LIMIT ? length : FCGI_CONTENT_LIMIT;
        append_fastcgi_record(out, type, request_id, data, piece);
        data += piece;
        length -= piece;
    }
}

void append_fastcgi_end_request(std::string& out, uint16_t request_id, uint32_t app_status, uint8_t protocol_status) {
    const char body[8] = {char(app_status >> 24), char((app_status >> 16) & 0xFF), char((app_status >> 8) & 0xFF),
                          char(app_status & 0xFF), char(protocol_status), 0, 0, 0};
    append_fastcgi_record(out, FCGI_END_REQUEST, request_id, body, sizeof body);
}

bool decode_fastcgi_pairs(const char* data, size_t length, FastcgiPairs& pairs) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    size_t at = 0;
    while (at < length) {
        size_t name_length = 0, value_length = 0;
        if (!take_length(bytes, length, at, name_length) || !take_length(bytes, length, at, value_length)) return false;
        if (name_length > length - at || value_length > length - at - name_length) return false;
        pairs.emplace_back(std::string(data + at, name_length), std::string(data + at + name_length, value_length));
        at += name_length + value_length;
    }
    return true;
}

void append_fastcgi_pair(std::string& out, const std::string& name, const std::string& value) {
    put_length(out, name.size());
    put_length(out, value.size());
    out += name;
    out += value;
}

}  // namespace tolv
