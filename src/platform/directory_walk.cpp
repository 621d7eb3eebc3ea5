#include "platform/directory_walk.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstring>
#include <utility>

namespace tolv {
namespace {

using DirectoryId = std::pair<dev_t, ino_t>;

bool walk_into(const std::string& path, const std::string& relative, std::vector<DirectoryId>& ancestors,
               std::vector<DirectoryFile>& out) {
    DIR* listing = opendir(path.c_str());
    if (listing == nullptr) return false;
    while (const dirent* entry = readdir(listing)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
        std::string child_path = path;
        if (child_path.empty() || child_path.back() != '/') child_path += '/';
        child_path += name;
        std::string child_relative = relative.empty() ? std::string(name) : relative + "/" + name;
        struct stat status {};
        if (stat(child_path.c_str(), &status) != 0) continue;  // dangling link, vanished entry
        if (S_ISREG(status.st_mode)) {
            out.push_back({std::move(child_relative), static_cast<int64_t>(status.st_mtime),
                           static_cast<uint64_t>(status.st_size)});
        } else if (S_ISDIR(status.st_mode)) {
            // A link back to an ancestor would otherwise recurse forever.
            DirectoryId id{status.st_dev, status.st_ino};
            bool seen = false;
            for (const DirectoryId& ancestor : ancestors) seen = seen || ancestor == id;
            if (seen) continue;
            ancestors.push_back(id);
            walk_into(child_path, child_relative, ancestors, out);
            ancestors.pop_back();
        }
    }
    closedir(listing);
    return true;
}

}  // namespace

bool walk_directory(const std::string& dir, std::vector<DirectoryFile>& out) {
    std::string root = dir.empty() ? std::string(".") : dir;
    struct stat status {};
    if (stat(root.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) return false;
    std::vector<DirectoryId> ancestors{{status.st_dev, status.st_ino}};
    return walk_into(root, "", ancestors, out);
}

}  // namespace tolv
