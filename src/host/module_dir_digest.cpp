#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "host/config.h"
#include "platform/directory_walk.h"
#include "platform/local_time.h"
#include "platform/sha256.h"

namespace tolv {
namespace {

// Module files: an extension of exactly two characters, j then o or s.
bool is_module_file(const std::string& relative_path) {
    size_t slash = relative_path.rfind('/');
    size_t name_start = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = relative_path.rfind('.');
    if (dot == std::string::npos || dot < name_start || relative_path.size() - dot != 3) return false;
    char first = relative_path[dot + 1];
    char second = relative_path[dot + 2];
    return (first == 'j' || first == 'J') && (second == 'o' || second == 'O' || second == 's' || second == 'S');
}

struct ListingEntry {
    std::string path;
    std::string time;
    std::string size;
};

// The write time in UTC with 9 added to the hour and no carry into the day,
// so hours 24-32 occur: the listing format existing digests were made with.
std::string listing_time(int64_t write_time) {
    std::tm fields{};
    if (!utc_time(write_time, fields)) {
        std::fputs("FileTimeToSystemTime Error\n", stdout);
        std::fflush(stdout);
        std::exit(2);
    }
    fields.tm_hour += 9;
    return calendar_text(fields);
}

std::string listing_size(uint64_t size) {
    char text[32];
    std::snprintf(text, sizeof text, "%d:%d", static_cast<int32_t>(static_cast<uint32_t>(size >> 32)),
                  static_cast<int32_t>(static_cast<uint32_t>(size)));
    return text;
}

}  // namespace

std::string module_dir_digest(const std::string& dir) {
    std::vector<DirectoryFile> files;
    if (!walk_directory(dir, files)) return "";

    std::string prefix = dir;
    if (!prefix.empty() && prefix.back() == '/') prefix.pop_back();
    std::vector<ListingEntry> entries;
    for (const DirectoryFile& file : files) {
        if (!is_module_file(file.relative_path)) continue;
        entries.push_back({prefix + "/" + file.relative_path, listing_time(file.write_time), listing_size(file.size)});
    }
    // std::string compares as unsigned bytes.
    std::sort(entries.begin(), entries.end(),
              [](const ListingEntry& a, const ListingEntry& b) { return a.path < b.path; });

    std::string listing;
    for (const ListingEntry& entry : entries) {
        listing += entry.path;
        listing += ';';
        listing += entry.time;
        listing += ';';
        listing += entry.size;
        listing += '\n';
    }

    const Sha256Digest digest = sha256(listing.data(), listing.size());
    static const char HEX[] = "0123456789abcdef";
    std::string text;
    for (uint8_t byte : digest) {
        text += HEX[byte >> 4];
        text += HEX[byte & 15];
    }
    return text;
}

}  // namespace tolv
