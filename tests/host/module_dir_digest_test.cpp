#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <string>

#include "host/config.h"
#include "platform/scratch_dir.h"

namespace tolv {
namespace {

using tests::ScratchDir;

const char* const DIGEST_MISMATCH = "JSモジュールのディレクトリの内容が変わっています。";

std::string sha256_hex(const std::string& text) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(text.data(), text.size(), digest, &length, EVP_sha256(), nullptr);
    std::string hex;
    char pair[3];
    for (unsigned int i = 0; i < length; ++i) {
        std::snprintf(pair, sizeof pair, "%02x", digest[i]);
        hex += pair;
    }
    return hex;
}

// 1700000000 is 2023-11-14 22:13:20 UTC and 1600000000 2020-09-13 12:26:40
// UTC; the listing adds 9 to the hour without carrying into the day.
class ModuleDirDigestTest : public ::testing::Test {
protected:
    void SetUp() override {
        config_reset();
        dir_.mkdir("sub");
        dir_.mkdir("sub/deeper");
        dir_.mkdir("dir.js");
        dir_.write("a.js", "abc", 1700000000);
        dir_.write("B.JO", "0123456789", 1600000000);
        dir_.write("sub/c.Js", "", 1700000000);
        dir_.write("sub/deeper/d.jS", std::string(5000, 'd'), 1600000000);
        dir_.write("dir.js/e.jo", "e", 1600000000);
        // Not modules: other extensions, a module-like directory name.
        for (const char* other : {"x.json", "y.j", "z.jsx", "README", "noext", "sub/.jsrc", "f.ts", "sub/g.js.bak"}) {
            dir_.write(other, "ignored", 1600000000);
        }
    }
    void TearDown() override { config_reset(); }

    std::string expected_digest() const {
        const std::string& root = dir_.path();
        return sha256_hex(root + "/B.JO;2020/09/13 21:26:40;0:10\n" +
                          root + "/a.js;2023/11/14 31:13:20;0:3\n" +
                          root + "/dir.js/e.jo;2020/09/13 21:26:40;0:1\n" +
                          root + "/sub/c.Js;2023/11/14 31:13:20;0:0\n" +
                          root + "/sub/deeper/d.jS;2020/09/13 21:26:40;0:5000\n");
    }

    ScratchDir dir_;
};

TEST_F(ModuleDirDigestTest, DigestOfTheSortedListing) {
    std::string digest = module_dir_digest(dir_.path());
    EXPECT_EQ(digest, expected_digest());
    EXPECT_EQ(digest.size(), 64u);
    // The paths are built from the directory without its trailing "/".
    EXPECT_EQ(module_dir_digest(dir_.path() + "/"), digest);
}

TEST_F(ModuleDirDigestTest, OnlyModuleFilesCount) {
    std::string digest = module_dir_digest(dir_.path());
    dir_.write("notes.txt", "changed", 1);
    dir_.write("y.j", "changed too");
    dir_.mkdir("empty.js");
    EXPECT_EQ(module_dir_digest(dir_.path()), digest);

    const struct {
        const char* what;
        void (*change)(const ScratchDir&);
    } changes[] = {
        {"size", [](const ScratchDir& d) { d.write("sub/c.Js", "x", 1700000000); }},
        {"write time", [](const ScratchDir& d) { d.set_time("a.js", 1700000001); }},
        {"new module", [](const ScratchDir& d) { d.write("sub/new.jo", "", 1600000000); }},
        {"removed module", [](const ScratchDir& d) { unlink(d.file("dir.js/e.jo").c_str()); }},
    };
    for (const auto& c : changes) {
        c.change(dir_);
        std::string changed = module_dir_digest(dir_.path());
        EXPECT_NE(changed, digest) << c.what;
        digest = changed;
    }
}

// Sizes print as signed high and low 32-bit halves.
TEST(ModuleDirDigest, LargeFileSizeHalves) {
    ScratchDir dir;
    std::string path = dir.write("big.js", "", 1600000000);
    ASSERT_EQ(truncate(path.c_str(), 0x180000000LL), 0);  // sparse, 6 GiB
    dir.set_time("big.js", 1600000000);
    EXPECT_EQ(module_dir_digest(dir.path()),
              sha256_hex(dir.path() + "/big.js;2020/09/13 21:26:40;1:-2147483648\n"));
}

TEST(ModuleDirDigest, EmptyAndMissingDirectories) {
    ScratchDir dir;
    EXPECT_EQ(module_dir_digest(dir.path()), sha256_hex(""));
    EXPECT_EQ(module_dir_digest(dir.file("missing")), "");
}

TEST_F(ModuleDirDigestTest, ModuleDirLineChecksTheDigest) {
    std::string root = dir_.path() + "/";
    EXPECT_EQ(apply_config_line("MODULE_DIR=" + root + ">>>" + expected_digest() + " # checked"), std::nullopt);
    EXPECT_EQ(g_config.module_dir, root);

    config_reset();
    std::string wrong = expected_digest();
    wrong[0] = wrong[0] == '0' ? '1' : '0';
    EXPECT_EQ(apply_config_line("MODULE_DIR=" + root + ">>>" + wrong), DIGEST_MISMATCH);
    EXPECT_EQ(apply_config_line("MODULE_DIR=" + root + ">>>" + expected_digest() + "0"), DIGEST_MISMATCH);
    EXPECT_EQ(apply_config_line("MODULE_DIR=" + root + ">>>"), DIGEST_MISMATCH);
    // A directory that cannot be listed never matches, not even the digest
    // of an empty listing.
    EXPECT_EQ(apply_config_line("MODULE_DIR=" + dir_.file("missing") + ">>>" + sha256_hex("")), DIGEST_MISMATCH);
    EXPECT_EQ(g_config.module_dir, "");
}

}  // namespace
}  // namespace tolv
