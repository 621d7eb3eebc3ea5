#include "debugger/wire_text.h"

namespace tolv {

namespace {

// A line number: digits only, at most 9 of them; 0 when it is not one.
uint32_t line_number(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (text.empty() || text.size() > 9) return 0;
    uint32_t n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return 0;
        n = n * 10 + uint32_t(c - '0');
    }
    return n;
}

std::string_view skip_first(std::string_view list) {
    if (!list.empty()) list.remove_prefix(1);
    return list;
}

}  // namespace

std::string joined(std::initializer_list<std::string_view> parts) {
    std::string out;
    for (std::string_view part : parts) out.append(part);
    return out;
}

std::string length_header(size_t length) {
    std::string digits = std::to_string(length);
    return char('A' + digits.size()) + digits;
}

void parse_line_list(std::string_view text, std::vector<uint32_t>& lines) {
    while (!text.empty()) {
        size_t colon = text.find(':');
        std::string_view entry = text.substr(0, colon);
        if (uint32_t line = line_number(entry)) lines.push_back(line);
        if (colon == std::string_view::npos) break;
        text.remove_prefix(colon + 1);
    }
}

void parse_entry_list(std::string_view text, std::vector<LineText>& entries) {
    while (!text.empty()) {
        size_t colon = text.find(':');
        size_t end = text.find(';');
        if (end == std::string_view::npos) end = text.size();
        LineText entry{0, {}};
        if (colon != std::string_view::npos && colon < end) {
            entry.line = line_number(text.substr(0, colon));
            entry.text.assign(text.substr(colon + 1, end - colon - 1));
        } else {
            entry.text.assign(text.substr(0, end));
        }
        entries.push_back(std::move(entry));
        if (end >= text.size()) break;
        // The ';' and the separator that follows it.
        text.remove_prefix(end + 1 < text.size() ? end + 2 : end + 1);
    }
}

bool split_path(std::string_view body, std::string_view& path, std::string_view& rest) {
    size_t colon = body.find(':');
    if (colon == std::string_view::npos) return false;
    path = body.substr(0, colon);
    rest = body.substr(colon + 1);
    return true;
}

bool parse_eval_command(std::string_view body, EvalCommand& out) {
    size_t semicolon = body.find(';');
    if (semicolon == std::string_view::npos) return false;
    std::string_view head = body.substr(0, semicolon);
    out.expression = body.substr(semicolon + 1);
    // Line and column come last; the path is everything before the function.
    size_t c3 = head.rfind(':');
    if (c3 == std::string_view::npos || c3 == 0) return false;
    size_t c2 = head.rfind(':', c3 - 1);
    if (c2 == std::string_view::npos || c2 == 0) return false;
    size_t c1 = head.rfind(':', c2 - 1);
    if (c1 == std::string_view::npos) return false;
    out.path = head.substr(0, c1);
    out.function = head.substr(c1 + 1, c2 - c1 - 1);
    return true;
}

ModuleTableTexts split_module_tables(std::string_view payload) {
    ModuleTableTexts out;
    size_t traces_end = payload.find("###");
    if (traces_end == std::string_view::npos) {
        out.traces = skip_first(payload);
        return out;
    }
    out.traces = skip_first(payload.substr(0, traces_end));
    std::string_view rest = payload.substr(traces_end + 3);
    size_t lines_end = rest.find("$$$");
    if (lines_end == std::string_view::npos) {
        out.lines = skip_first(rest);
        return out;
    }
    out.lines = skip_first(rest.substr(0, lines_end));
    out.conditions = skip_first(rest.substr(lines_end + 3));
    return out;
}

bool decode_base64(std::string_view text, std::vector<uint8_t>& out) {
    uint32_t bits = 0;
    int count = 0;
    for (char c : text) {
        int v;
        if (c >= 'A' && c <= 'Z') v = c - 'A';
        else if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
        else if (c >= '0' && c <= '9') v = c - '0' + 52;
        else if (c == '+') v = 62;
        else if (c == '/') v = 63;
        else if (c == '=') break;
        else if (c == ' ' || c == '\r' || c == '\n' || c == '\t') continue;
        else return false;
        bits = (bits << 6) | uint32_t(v);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out.push_back(uint8_t(bits >> count));
            bits &= (1u << count) - 1;
        }
    }
    // A lone sextet cannot end well-formed data.
    return count < 6;
}

}  // namespace tolv
