// The drive-path algebra on the edge cases the tool relies on.
#include "platform/path_algebra.h"

#include <gtest/gtest.h>

#include <string>

using platform::DriveContext;

namespace {

// Drives C and D exist; D remembers D:\DATA; E exists and remembers nothing.
const char* remembered(int drive, void*) {
    switch (drive) {
        case 3: return "C:\\WORK";
        case 4: return "D:\\DATA";
        case 5: return "";
        default: return nullptr;
    }
}

std::string full(const char* path, const char* current = "C:\\WORK", std::size_t size = 260) {
    DriveContext drives{current, remembered, nullptr};
    char buffer[260];
    if (platform::fullPathIn(buffer, path, size, drives) == nullptr) return "<fail>";
    return buffer;
}

}  // namespace

TEST(FullPath, ResolvesAgainstDriveState) {
    struct Case {
        const char* path;
        const char* current;
        const char* expected;
    } cases[] = {
        {"vux", "C:\\WORK", "C:\\WORK\\vux"},
        {"", "C:\\WORK", "C:\\WORK"},
        {"C:\\A\\..", "C:\\WORK", "C:\\"},
        {"/a/b/", "C:\\WORK", "C:\\a\\b"},
        {"..", "C:\\", "<fail>"},
        {"a\\\\b", "C:\\WORK", "<fail>"},
        {"C:\\\\a", "C:\\WORK", "<fail>"},
        {".", "C:\\", "C:\\"},
        {"..", "C:\\WORK", "C:\\"},
        {".\\x\\.\\y", "C:\\WORK", "C:\\WORK\\x\\y"},
        {"\\", "C:\\WORK", "C:\\"},
        {"\\x", "d:\\DATA", "D:\\x"},
        {"d:", "C:\\WORK", "D:\\DATA"},
        {"d:x", "C:\\WORK", "D:\\DATA\\x"},
        {"e:x", "C:\\WORK", "E:\\x"},
        {"q:x", "C:\\WORK", "<fail>"},
        {"q:\\x", "C:\\WORK", "q:\\x"},
        {"c:\\x", "C:\\WORK", "c:\\x"},
        {"c:sub", "C:\\WORK", "C:\\WORK\\sub"},
        {"\\\\server\\share\\a\\..\\b", "C:\\WORK", "\\\\server\\share\\b"},
        {"\\\\server\\share\\..", "C:\\WORK", "<fail>"},
        {"a/../../..", "C:\\WORK", "<fail>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " from " + c.current);
        EXPECT_EQ(full(c.path, c.current), c.expected);
    }
}

TEST(FullPath, FailsWhenResultDoesNotFit) {
    std::string name(252, 'n');
    EXPECT_EQ(full(name.c_str()), "<fail>");  // C:\WORK\ and 252 make 260
    EXPECT_EQ(full(name.substr(1).c_str()).size(), 259u);
    std::string fits(251, 'n');
    EXPECT_EQ(full(("\\" + fits).c_str()).size(), 254u);
    EXPECT_EQ(full("x", "C:\\WORK", 9), "<fail>");
    EXPECT_EQ(full("x", "C:\\WORK", 10), "C:\\WORK\\x");
}

TEST(SplitPath, DriveAndDirectory) {
    char drive[3], dir[256];
    ASSERT_EQ(platform::splitPath("C:\\vux.exe", drive, dir), 0);
    EXPECT_STREQ(drive, "C:");
    EXPECT_STREQ(dir, "\\");
    ASSERT_EQ(platform::splitPath("C:\\TOOLS\\vux", drive, dir), 0);
    EXPECT_STREQ(dir, "\\TOOLS\\");
    ASSERT_EQ(platform::splitPath("DATA/x.x", drive, dir), 0);
    EXPECT_STREQ(drive, "");
    EXPECT_STREQ(dir, "DATA/");
    ASSERT_EQ(platform::splitPath("vux", drive, dir), 0);
    EXPECT_STREQ(dir, "");
    std::string deep = "C:\\" + std::string(300, 'a') + "\\x";
    EXPECT_EQ(platform::splitPath(deep.c_str(), drive, dir), -1);
}

TEST(MakePath, JoinsParts) {
    char buffer[260];
    ASSERT_EQ(platform::makePath(buffer, sizeof buffer, "C:", "\\TOOLS\\", "home", "vux"), 0);
    EXPECT_STREQ(buffer, "C:\\TOOLS\\home.vux");
    ASSERT_EQ(platform::makePath(buffer, sizeof buffer, "", "", "home", "vux"), 0);
    EXPECT_STREQ(buffer, "home.vux");
    ASSERT_EQ(platform::makePath(buffer, sizeof buffer, "D:", "\\DATA", "dirtree", ".x"), 0);
    EXPECT_STREQ(buffer, "D:\\DATA\\dirtree.x");
    ASSERT_EQ(platform::makePath(buffer, sizeof buffer, "d", "", "a", ""), 0);
    EXPECT_STREQ(buffer, "d:a");
    EXPECT_EQ(platform::makePath(buffer, 8, "C:", "\\TOOLS\\", "x", "y"), -1);
    EXPECT_STREQ(buffer, "d:a");  // unchanged on failure
}
