// The scan on generated trees across mounted file systems: what it writes is what a
// walk that lists every folder writes. Slow (loop images, 65,000 folders): label slow.
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "native_fixture.h"

using Scan = NativeDrives;

namespace {

// A generated tree of about `budget` folders below host, the same for a seed: mostly
// folders without subfolders, chains and runs of siblings, dot-folders (some alone in
// their folder), links to folders, names that can't be written as paths, files, and
// now and then a folder of thousands of files and a few subfolders.
void growTree(const std::string& host, std::mt19937& random, int& budget, int depth = 0) {
    auto chance = [&](int percent) { return static_cast<int>(random() % 100) < percent; };
    if (chance(30)) harness::writeFile(host + "/file.txt", "x");
    if (chance(5)) harness::makeDirs(host + "/.hidden" + (chance(50) ? "/inner" : ""));
    if (chance(4)) symlink("..", (host + "/up").c_str());
    if (chance(2)) harness::makeDirs(host + "/back\\slash/below");
    if (depth > 0 && chance(1)) {
        for (int i = 0; i < 3000; ++i) harness::writeFile(host + "/f" + std::to_string(i), "");
    }
    int children = depth > 12 || budget <= 0 || chance(55) ? 0 : 1 + static_cast<int>(random() % 6);
    for (int i = 0; i < children && budget > 0; ++i) {
        std::string child = host + "/d" + std::to_string(depth) + "_" + std::to_string(random() % 1000);
        if (harness::isDirectory(child)) continue;
        harness::makeDirs(child);
        --budget;
        growTree(child, random, budget, depth + 1);
    }
}

// File systems mounted for a test, taken away again however the test ends.
class Mounts {
public:
    ~Mounts() {
        for (auto it = points_.rbegin(); it != points_.rend(); ++it) umount2(it->c_str(), MNT_DETACH);
    }
    // Mounts a fresh file system of the type at the folder: a loop image made with
    // mkfs.TYPE (options after the image), or tmpfs. Says why when it can't.
    bool mount(const std::string& type, const std::string& at, const std::string& image,
               const std::vector<std::string>& mkfsOptions = {}) {
        harness::makeDirs(at);
        std::vector<std::string> mountArgs{"mount", "-t", type};
        if (type == "tmpfs") {
            mountArgs.insert(mountArgs.end(), {"tmpfs", at});
        } else {
            harness::writeFile(image, "");
            if (truncate(image.c_str(), 400 << 20) != 0) return skipped(type, "no room for an image");
            std::vector<std::string> mkfs{"mkfs." + type};
            mkfs.insert(mkfs.end(), mkfsOptions.begin(), mkfsOptions.end());
            mkfs.push_back(image);
            auto made = harness::run(mkfs, {}, "/");
            if (made.code != 0) return skipped(type, "mkfs." + type + " failed: " + made.err);
            mountArgs.insert(mountArgs.end(), {"-o", "loop", image, at});
        }
        auto mounted = harness::run(mountArgs, {}, "/");
        if (mounted.code != 0) return skipped(type, "mount failed: " + mounted.err);
        points_.push_back(at);
        return true;
    }

private:
    static bool skipped(const std::string& type, const std::string& why) {
        std::cout << "[  SKIPPED ] the " << type << " case: " << why << "\n";
        return false;
    }
    std::vector<std::string> points_;
};

}  // namespace

// The scan reads only what it must where link counts count subfolders, yet writes
// what a walk that lists every folder writes, on every kind of file system and
// across mounts: ext4 (with a folder of more than 65,000 subfolders, whose count
// says nothing), tmpfs, XFS, and btrfs (no counts) with a tmpfs inside it.
TEST_F(Scan, WritesWhatAFullWalkWritesOnEveryFileSystem) {
    std::mt19937 random(20261208);
    auto grow = [&](const std::string& host, int folders) {
        harness::makeDirs(host);
        growTree(host, random, folders);
    };
    grow(c("plain"), 1500);
    harness::makeDirs(c("dotonly/.git/objects"));
    harness::makeDirs(c("dotonly/.empty"));

    Mounts mounts;
    if (getuid() != 0) {
        std::cout << "[  SKIPPED ] the mounted cases: they need root\n";
    } else {
        if (mounts.mount("tmpfs", c("tmp"), "")) grow(c("tmp/t"), 400);
        std::string images = root / "images";
        harness::makeDirs(images);
        if (mounts.mount("ext4", c("ext4"), images + "/ext4.img",
                         {"-q", "-F", "-O", "inline_data", "-I", "256", "-N", "90000"})) {
            // Past 65,000 subfolders ext4 gives the folder a link count of 1.
            std::string many = c("ext4/many");
            harness::makeDirs(many + "/.dot");
            for (int i = 0; i < 65010; ++i) mkdir((many + "/m" + std::to_string(i)).c_str(), 0755);
            harness::makeDirs(many + "/m7/below");
            grow(c("ext4/e"), 400);
            if (mounts.mount("btrfs", c("ext4/e/btrfs"), images + "/btrfs.img", {"-q", "-f"})) {
                grow(c("ext4/e/btrfs/b"), 400);
                if (mounts.mount("tmpfs", c("ext4/e/btrfs/b/tmp"), "")) grow(c("ext4/e/btrfs/b/tmp/t"), 200);
            }
        }
        if (mounts.mount("xfs", c("tmp/xfs"), images + "/xfs.img", {"-q", "-f"})) grow(c("tmp/xfs/x"), 400);
    }
    EXPECT_EQ(vux({"/q", "/r"}, c("")).code, 127);
    EXPECT_EQ(file(tools("dirtree.C")), expectedTree());
}
