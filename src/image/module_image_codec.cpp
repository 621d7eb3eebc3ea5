#include "image/module_image_codec.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace tolv {

namespace {

constexpr size_t DICTIONARY_HEADER = 6;
constexpr unsigned LONGEST_PREFIX_RUN = 250;  // zeros before x: n - 3 with n up to 253

struct Output {
    uint8_t* at;
    size_t used;
    size_t capacity;
    bool put(uint8_t b) {
        if (used >= capacity) return false;
        at[used++] = b;
        return true;
    }
    bool zeros(size_t n) {
        if (n > capacity - used) return false;
        std::memset(at + used, 0, n);
        used += n;
        return true;
    }
};

}  // namespace

bool decode_image_stream(const uint8_t* in, size_t in_length, uint8_t* out, size_t capacity, size_t* out_length) {
    if (in_length < DICTIONARY_HEADER) return false;
    const uint8_t r = in[0], z2 = in[1], z3 = in[2], z4 = in[3];
    const size_t fixed = in[4], entries = in[5];
    if (fixed > entries) return false;
    const size_t header = DICTIONARY_HEADER + 2 * entries + fixed;
    if (header > in_length) return false;
    const uint8_t* codes = in + DICTIONARY_HEADER;
    const uint8_t* replacement = codes + entries;
    const uint8_t* runs = replacement + entries;
    int16_t entry_of[256];
    std::fill(std::begin(entry_of), std::end(entry_of), int16_t(-1));
    for (size_t k = entries; k-- > 0;) entry_of[codes[k]] = int16_t(k);

    Output o{out, 0, capacity};
    size_t i = header;
    while (i < in_length) {
        const uint8_t b = in[i++];
        bool ok;
        if (b == 0) {
            ok = o.put(0);
        } else if (b == z2 || b == z3 || b == z4) {
            if (i < in_length && in[i] == b) {
                ++i;
                ok = o.put(b);
            } else {
                ok = o.zeros(b == z2 ? 2 : b == z3 ? 3 : 4);
            }
        } else if (b == r) {
            if (i >= in_length) return false;
            const uint8_t n = in[i++];
            ok = n == 0 ? o.put(r) : o.zeros(n);
        } else if (entry_of[b] >= 0) {
            const size_t k = size_t(entry_of[b]);
            const uint8_t x = replacement[k];
            unsigned n;
            if (k < fixed) {
                n = runs[k];
            } else {
                if (i >= in_length) return false;
                n = in[i++];
                if (n == 254) {
                    if (!o.put(b)) return false;
                    continue;
                }
            }
            ok = n > 4 ? o.zeros(n - 3) && o.put(x) : o.put(x) && o.zeros(n);
        } else {
            ok = o.put(b);
        }
        if (!ok) return false;
    }
    *out_length = o.used;
    return true;
}

namespace {

// A dictionary pattern: byte x with `run` as the code's run length.
struct Pattern {
    uint8_t x;
    uint8_t run;
    size_t gain;
};

size_t zero_run(const std::vector<uint8_t>& s, size_t i) {
    size_t j = i;
    while (j < s.size() && s[j] == 0) ++j;
    return j - i;
}

class Encoder {
public:
    explicit Encoder(const std::vector<uint8_t>& s) : s_(s) {}

    std::vector<uint8_t> run() {
        std::array<size_t, 256> frequency{};
        for (uint8_t b : s_) ++frequency[b];
        std::vector<uint8_t> by_rarity;
        for (unsigned b = 1; b < 256; ++b) by_rarity.push_back(uint8_t(b));
        std::stable_sort(by_rarity.begin(), by_rarity.end(),
                         [&](uint8_t a, uint8_t b) { return frequency[a] < frequency[b]; });
        r_ = by_rarity[0];
        z_[2] = by_rarity[1];
        z_[3] = by_rarity[2];
        z_[4] = by_rarity[3];
        // Fixed-run codes cannot be escaped: only bytes the data never holds.
        std::vector<uint8_t> free_codes;
        for (size_t k = 4; k < by_rarity.size() && frequency[by_rarity[k]] == 0; ++k) free_codes.push_back(by_rarity[k]);
        choose_dictionary(free_codes);

        std::vector<uint8_t> out = {r_, z_[2], z_[3], z_[4], uint8_t(codes_.size()), uint8_t(codes_.size())};
        for (const Pattern& p : codes_) out.push_back(code_byte_[&p - codes_.data()]);
        for (const Pattern& p : codes_) out.push_back(p.x);
        for (const Pattern& p : codes_) out.push_back(p.run);
        out_ = std::move(out);
        code_entries();
        return std::move(out_);
    }

private:
    const std::vector<uint8_t>& s_;
    uint8_t r_ = 0;
    uint8_t z_[5] = {};
    std::vector<Pattern> codes_;
    std::vector<uint8_t> code_byte_;
    // Code for (x, run) where run <= 253; 0 = none.
    std::vector<std::array<uint8_t, 256>> by_x_ = std::vector<std::array<uint8_t, 256>>(256);
    std::vector<uint8_t> out_;

    void choose_dictionary(const std::vector<uint8_t>& free_codes) {
        if (free_codes.empty()) return;
        // Count how often each byte comes after a run of zeros or before a short one.
        std::vector<std::array<size_t, 256>> count(256);
        for (auto& c : count) c.fill(0);
        size_t i = 0;
        while (i < s_.size()) {
            size_t z = zero_run(s_, i);
            if (z > 0) {
                i += z;
                if (i < s_.size() && z >= 2 && z <= LONGEST_PREFIX_RUN) {
                    ++count[s_[i]][z + 3];
                    ++i;
                }
                continue;
            }
            size_t after = zero_run(s_, i + 1);
            if (after >= 1 && after <= 4) {
                ++count[s_[i]][after];
                i += 1 + after;
            } else {
                ++i;
            }
        }
        std::vector<Pattern> candidates;
        for (unsigned x = 1; x < 256; ++x) {
            for (unsigned run = 1; run < 254; ++run) {
                if (!count[x][run]) continue;
                // Bytes saved per use: the zeros' own code and the plain byte.
                size_t saved = run > 4 ? (run - 3 >= 5 ? 2 : 1) : 1;
                candidates.push_back({uint8_t(x), uint8_t(run), count[x][run] * saved});
            }
        }
        std::stable_sort(candidates.begin(), candidates.end(),
                         [](const Pattern& a, const Pattern& b) { return a.gain > b.gain; });
        const size_t n = std::min(candidates.size(), free_codes.size());
        for (size_t k = 0; k < n; ++k) {
            if (candidates[k].gain < 4) break;  // not worth its three header bytes
            codes_.push_back(candidates[k]);
            code_byte_.push_back(free_codes[k]);
            by_x_[candidates[k].x][candidates[k].run] = free_codes[k];
        }
    }

    void literal(uint8_t b) {
        if (b == r_) {
            out_.push_back(r_);
            out_.push_back(0);
        } else if (b == z_[2] || b == z_[3] || b == z_[4]) {
            out_.push_back(b);
            out_.push_back(b);
        } else {
            out_.push_back(b);
        }
    }

    // z zeros; `next` is the byte after them (-1 at the end).
    void zeros(size_t z, int next) {
        while (z >= 5) {
            size_t n = std::min<size_t>(z, 255);
            out_.push_back(r_);
            out_.push_back(uint8_t(n));
            z -= n;
        }
        if (z == 1) {
            out_.push_back(0);
        } else if (z >= 2) {
            // A code followed by its own byte would read as that byte.
            if (next == z_[z]) {
                out_.push_back(r_);
                out_.push_back(uint8_t(z));
            } else {
                out_.push_back(z_[z]);
            }
        }
    }

    void code_entries() {
        size_t i = 0;
        const size_t n = s_.size();
        while (i < n) {
            size_t z = zero_run(s_, i);
            if (z > 0) {
                if (i + z < n && z >= 2 && z <= LONGEST_PREFIX_RUN) {
                    uint8_t code = by_x_[s_[i + z]][z + 3];
                    if (code) {
                        out_.push_back(code);
                        i += z + 1;
                        continue;
                    }
                }
                zeros(z, i + z < n ? s_[i + z] : -1);
                i += z;
                continue;
            }
            const uint8_t x = s_[i];
            const size_t after = zero_run(s_, i + 1);
            size_t take = std::min<size_t>(after, 4);
            uint8_t code = 0;
            while (take >= 1 && !(code = by_x_[x][take])) --take;
            if (code) {
                out_.push_back(code);
                i += 1 + take;
                continue;
            }
            literal(x);
            ++i;
        }
    }
};

}  // namespace

std::vector<uint8_t> encode_image_stream(const std::vector<uint8_t>& stream) {
    if (stream.empty()) return {};
    std::vector<uint8_t> coded = Encoder(stream).run();
    if (coded.size() >= stream.size()) return {};
    // Never hand out what does not read back.
    std::vector<uint8_t> check(stream.size() + 512);
    size_t length = 0;
    if (!decode_image_stream(coded.data(), coded.size(), check.data(), check.size(), &length)) return {};
    if (length != stream.size() || std::memcmp(check.data(), stream.data(), length) != 0) return {};
    return coded;
}

}  // namespace tolv
