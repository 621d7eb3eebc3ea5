#include "protocol/open_call.h"

namespace tolv {

namespace {

bool starts_name(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

class CallScanner {
public:
    explicit CallScanner(std::string_view text) : text_(text) {}

    void skip_spaces() {
        while (at_ < text_.size() && is_space(text_[at_])) ++at_;
    }
    bool take(char c) {
        skip_spaces();
        if (at_ >= text_.size() || text_[at_] != c) return false;
        ++at_;
        return true;
    }
    bool at_end() {
        skip_spaces();
        return at_ == text_.size();
    }
    std::string_view name() {
        skip_spaces();
        size_t start = at_;
        if (at_ < text_.size() && starts_name(text_[at_])) {
            while (at_ < text_.size() && (starts_name(text_[at_]) || is_digit(text_[at_]))) ++at_;
        }
        return text_.substr(start, at_ - start);
    }
    // -digits[.digits]
    bool number() {
        skip_spaces();
        size_t start = at_;
        if (at_ < text_.size() && text_[at_] == '-') ++at_;
        size_t digits = at_;
        while (at_ < text_.size() && is_digit(text_[at_])) ++at_;
        if (at_ == digits) {
            at_ = start;
            return false;
        }
        if (at_ < text_.size() && text_[at_] == '.') {
            ++at_;
            size_t fraction = at_;
            while (at_ < text_.size() && is_digit(text_[at_])) ++at_;
            if (at_ == fraction) return false;
        }
        return true;
    }
    // 'text' or "text" without a backslash or the other quote inside.
    bool quoted() {
        skip_spaces();
        if (at_ >= text_.size() || (text_[at_] != '\'' && text_[at_] != '"')) return false;
        char quote = text_[at_++];
        while (at_ < text_.size() && text_[at_] != quote) {
            char c = text_[at_++];
            if (c == '\\' || c == '\'' || c == '"' || c == '`' || c == '\n') return false;
        }
        return take(quote);
    }
    bool argument() { return !name().empty() || number() || quoted(); }

private:
    std::string_view text_;
    size_t at_ = 0;
};

}  // namespace

bool is_open_call(std::string_view top_program, const std::vector<std::string>& open_functions) {
    CallScanner scan(top_program);
    std::string_view callee = scan.name();
    bool opened = false;
    for (const std::string& name : open_functions)
        if (callee == name) opened = true;
    if (!opened || !scan.take('(')) return false;
    if (!scan.take(')')) {
        do {
            if (!scan.argument()) return false;
        } while (scan.take(','));
        if (!scan.take(')')) return false;
    }
    scan.take(';');
    return scan.at_end();
}

}  // namespace tolv
