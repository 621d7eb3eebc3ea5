// split, replace and replaceAll with a text as separator or pattern: exact
// bytes, occurrences found left to right without overlap.
#include <cstring>
#include <new>

#include "lib/string/string_method_handlers.h"
#include "lib/string/string_methods.h"
#include "runtime/utf8_text.h"
#include "runtime/errors.h"
#include "runtime/text.h"

namespace tolv {

namespace {

constexpr uint32_t SPLIT_LIMIT = 16777215;
constexpr uint64_t STRING_LIMIT = 0x7FFFFF00u;

const char* find_bytes(const char* from, const char* end, const char* needle, size_t needle_length) {
    if (size_t(end - from) < needle_length) return nullptr;
    return static_cast<const char*>(memmem(from, size_t(end - from), needle, needle_length));
}

void push_piece(ValueHandle array, const char* text, size_t length) { array_push(array, string_of(text, length)); }

// A new String: the receiver with every listed occurrence (byte offsets, each
// `hole` bytes long) replaced by `with`.
ValueHandle rebuild(TextView t, const size_t* at, size_t hits, size_t hole, TextView with) {
    uint64_t length = uint64_t(t.length) - uint64_t(hits) * hole + uint64_t(hits) * with.length;
    if (length > STRING_LIMIT) raise(Error::NO_MEMORY);
    ValueHandle s = new_string_with_capacity(size_t(length) + 8);
    char* out = const_cast<char*>(string_text(s));
    size_t from = 0;
    char* p = out;
    for (size_t i = 0; i < hits; ++i) {
        std::memcpy(p, t.text + from, at[i] - from);
        p += at[i] - from;
        std::memcpy(p, with.text, with.length);
        p += with.length;
        from = at[i] + hole;
    }
    std::memcpy(p, t.text + from, t.length - from);
    out[length] = '\0';
    cell_as<StringCell>(s)->length = uint32_t(length);
    return s;
}

// Offsets of the occurrences, in a buffer that starts small and doubles.
class Offsets {
public:
    ~Offsets() {
        if (items_ != inline_) delete[] items_;
    }
    void push(size_t at) {
        if (size_ == capacity_) {
            size_t* bigger = new (std::nothrow) size_t[capacity_ * 2];
            if (!bigger) raise(Error::NO_MEMORY);
            std::memcpy(bigger, items_, size_ * sizeof(size_t));
            if (items_ != inline_) delete[] items_;
            items_ = bigger;
            capacity_ *= 2;
        }
        items_[size_++] = at;
    }
    const size_t* data() const { return items_; }
    size_t size() const { return size_; }

private:
    size_t inline_[64];
    size_t* items_ = inline_;
    size_t size_ = 0;
    size_t capacity_ = 64;
};

}  // namespace

ValueHandle string_split(ValueHandle receiver, const ValueHandle* args, uint32_t count) {
    CharText t(receiver);
    ValueHandle pieces = new_array(0);
    if (count == 0) {
        push_piece(pieces, t.text, t.length);
        return pieces;
    }
    int64_t limit = SPLIT_LIMIT;
    if (count > 1) {
        if (!is_integer(args[1])) raise(Error::NOT_INTEGER_ARGUMENT_2740);
        limit = integer_value(args[1]);
    }
    if (limit <= 0) return pieces;
    TextBuffer separator;
    text_of(args[0], separator);
    const char* end = t.text + t.length;
    if (separator.size() == 0) {
        for (size_t at = 0; at < t.length && array_length(pieces) < limit;) {
            size_t next = t.next(at);
            push_piece(pieces, t.text + at, next - at);
            at = next;
        }
        return pieces;
    }
    // The occurrences first, so that the array is made once at its size.
    Offsets hits;
    for (const char* hit = find_bytes(t.text, end, separator.data(), separator.size());
         hit && int64_t(hits.size()) < limit;
         hit = find_bytes(hit + separator.size(), end, separator.data(), separator.size()))
        hits.push(size_t(hit - t.text));
    size_t n = hits.size() < size_t(limit) ? hits.size() + 1 : hits.size();
    dispose(pieces);  // the empty one made above
    pieces = new_array(uint32_t(n));
    size_t from = 0;
    for (size_t i = 0; i < n; ++i) {
        size_t to = i < hits.size() ? hits.data()[i] : t.length;
        array_elements(pieces)[i] = retain(string_of(t.text + from, to - from));
        from = to + separator.size();
    }
    return pieces;
}

ValueHandle string_replace(ValueHandle receiver, const ValueHandle* args, uint32_t) {
    if (!is_string(args[1])) raise(Error::NOT_STRING_ARGUMENT_2720);
    if (!is_string(args[0])) raise(Error::NOT_STRING_ARGUMENT_2725);
    TextView t = text_view(receiver), pattern = text_view(args[0]);
    const char* hit = find_bytes(t.text, t.text + t.length, pattern.text, pattern.length);
    if (!hit) return receiver;
    size_t at = size_t(hit - t.text);
    return rebuild(t, &at, 1, pattern.length, text_view(args[1]));
}

// An empty pattern matches before every character and at the end.
ValueHandle string_replace_all(ValueHandle receiver, const ValueHandle* args, uint32_t) {
    if (!is_string(args[1])) raise(Error::NOT_STRING_ARGUMENT_2730);
    if (!is_string(args[0])) raise(Error::NOT_STRING_ARGUMENT_2735);
    CharText t(receiver);
    TextView pattern = text_view(args[0]);
    Offsets hits;
    if (pattern.length == 0) {
        for (size_t at = 0; at < t.length; at = t.next(at)) hits.push(at);
        hits.push(t.length);
    } else {
        const char* end = t.text + t.length;
        for (const char* hit = find_bytes(t.text, end, pattern.text, pattern.length); hit;
             hit = find_bytes(hit + pattern.length, end, pattern.text, pattern.length))
            hits.push(size_t(hit - t.text));
    }
    if (hits.size() == 0) return receiver;
    return rebuild(t.view(), hits.data(), hits.size(), pattern.length, text_view(args[1]));
}

}  // namespace tolv
