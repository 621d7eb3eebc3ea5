// A temporary directory for tests that need real files; removed with its
// contents when the object goes away.
#pragma once

#include <ftw.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace tolv::tests {

class ScratchDir {
public:
    ScratchDir() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/tolv_test_XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~ScratchDir() {
        if (!path_.empty()) nftw(path_.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& relative) const { return path_ + "/" + relative; }

    // Writes `content` to `relative` (parent directories must exist) and,
    // when `write_time` is not negative, sets its modification time.
    std::string write(const std::string& relative, const std::string& content, long write_time = -1) const {
        std::string full = file(relative);
        std::ofstream(full, std::ios::binary) << content;
        if (write_time >= 0) set_time(relative, write_time);
        return full;
    }
    void set_time(const std::string& relative, long write_time) const {
        timeval times[2] = {{write_time, 0}, {write_time, 0}};
        utimes(file(relative).c_str(), times);
    }
    std::string mkdir(const std::string& relative) const {
        std::string full = file(relative);
        ::mkdir(full.c_str(), 0755);
        return full;
    }

private:
    static int remove_entry(const char* path, const struct stat*, int, FTW*) { return std::remove(path); }
    std::string path_;
};

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace tolv::tests
