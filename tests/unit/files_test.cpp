// What vux reads and writes as text: the line reader over the back, home,
// configuration and tree files, the cd line of the command batch, and the companion
// of a tree file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "harness.h"
#include "platform/platform.h"
#include "search/change_directory.h"
#include "tree/digest.h"
#include "tree/stamp_file.h"
#include "tree/text_file.h"

// Paths are drive paths: the process stands on drive C, a temporary folder, until the
// end of the test.
class OnDriveC {
public:
    OnDriveC() {
        saved_ = getcwd(nullptr, 0);
        EXPECT_EQ(chdir(drive_.path().c_str()), 0);
        EXPECT_EQ(setenv("VUXDRIVES", ("C=" + drive_.path()).c_str(), 1), 0);
        EXPECT_EQ(platform::start(), platform::StartProblem::none);
    }
    ~OnDriveC() {
        EXPECT_EQ(chdir(saved_), 0);
        std::free(saved_);
    }
    std::string operator/(const std::string& relative) const { return drive_ / relative; }

private:
    harness::TempDir drive_;
    char* saved_;
};

TEST(Files, LineReaderPieces) {
    OnDriveC drive;
    const std::string block(4095, 'x');  // the reader's buffer holds 4096 bytes
    struct Case {
        std::string content;
        std::size_t size;
        std::vector<std::string> pieces;  // each as a C string
    } cases[] = {
        {"", 10, {}},
        {"a\r\nb\n", 10, {"a\n", "b\n"}},
        {"a\r\r\n\r\n", 10, {"a\r\n", "\n"}},
        {"a\rb\r", 10, {"a\rb\r"}},  // a CR not before LF stays
        {"last", 10, {"last"}},
        {"abcdefg\n", 4, {"abc", "def", "g\n"}},
        {std::string("a\0b\nc\n", 6), 10, {"a", "c\n"}},  // a NUL ends the text where it stands
        {block + "\r\nz", 5000, {block + "\n", "z"}},     // CR LF across a refill
        {block + "\rz\n", 5000, {block + "\rz\n"}},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(each.content.substr(0, 12) + " size " + std::to_string(each.size));
        harness::writeFile(drive / "lines.txt", each.content);
        vux::LineReader reader;
        ASSERT_TRUE(reader.open("C:\\lines.txt"));
        std::vector<char> buffer(each.size);
        std::vector<std::string> pieces;
        while (reader.readLine(buffer.data(), buffer.size())) pieces.push_back(buffer.data());
        EXPECT_EQ(pieces, each.pieces);
    }
    vux::LineReader missing;
    EXPECT_FALSE(missing.open("C:\\missing.txt"));
    char buffer[4] = "old";
    EXPECT_FALSE(missing.readLine(buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "");
    unsetenv("VUXDRIVES");
}

TEST(Files, CdLines) {
    struct Case {
        const char* target;
        unsigned size;
        const char* line;
    } cases[] = {
        {"C:\\WORK", 100, "cd C:\\WORK\r\n"},
        {"", 100, "cd \r\n"},
        {"C:\\with blank", 100, "cd C:\\with blank\r\n"},  // blanks alone need no quotes
        {"C:\\it's;$HOME", 100, "cd C:\\it's;$HOME\r\n"},
        {"C:\\a&b", 100, "cd \"C:\\a&b\"\r\n"},
        {"a|b", 100, "cd \"a|b\"\r\n"},
        {"a<b>c", 100, "cd \"a<b>c\"\r\n"},
        {"a^b", 100, "cd \"a^b\"\r\n"},
        {"\\100%", 100, "cd \"\\100%%\"\r\n"},
        {"%PATH%", 100, "cd \"%%PATH%%\"\r\n"},
        {"say \"hi\"", 100, "cd \"say \"hi\"\"\r\n"},
        {"C:\\WORK", 8, "cd C:\\W"},  // cut to the buffer, terminated
        {"%", 6, "cd \"%"},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(std::string(each.target) + " in " + std::to_string(each.size));
        std::vector<char> line(each.size, '#');
        vux::formatCdLine(line.data(), each.size, each.target);
        EXPECT_STREQ(line.data(), each.line);
    }
}

TEST(Files, DigestIsTheSameWhateverPiecesTheBytesComeIn) {
    // The tree file is summed as it is written and again as it is read back, in
    // pieces of other sizes.
    std::string bytes;
    for (int i = 0; i < 3000; ++i) bytes += static_cast<char>(i * 7 % 251);
    vux::Digest whole;
    whole.add(bytes.data(), bytes.size());
    std::srand(20261209);
    for (int round = 0; round < 200; ++round) {
        vux::Digest pieces;
        for (std::size_t at = 0; at < bytes.size();) {
            std::size_t n = std::min(bytes.size() - at, static_cast<std::size_t>(std::rand() % 20));
            pieces.add(bytes.data() + at, n);
            at += n;
        }
        ASSERT_EQ(pieces.value(), whole.value()) << "round " << round;
    }
    vux::Digest changed;
    bytes[1500] ^= 1;
    changed.add(bytes.data(), bytes.size());
    EXPECT_NE(changed.value(), whole.value());
}

// The companion of a tree file is read back only when it is whole and belongs to the
// tree file's exact bytes and to the skip list as it is; each other way is refused.
TEST(Files, CompanionIsReadOnlyWhenItBelongsToItsTreeFile) {
    OnDriveC drive;
    // The root, C:\A (trusted, with a subfolder), C:\A\B (not trusted).
    const std::string tree = "C:\\A\r\nC:\\A\\B\r\n";
    vux::Digest treeDigest;
    treeDigest.add(tree.data(), tree.size());
    vux::StampWriter writer;
    ASSERT_TRUE(writer.open("C:\\tree.stamps"));
    writer.start(vux::recordOf({1, 2, 30, 40, 3, true, false}, 0));
    writer.start(vux::recordOf({1, 5, 31, 41, 3, false, false}, 0));
    writer.start(vux::recordOf({1, 6, 32, 42, 2, false, false}, 6));
    writer.finish(false);
    writer.finish(true);
    writer.finish(true);
    vux::StampHeader header{};
    header.treeSize = tree.size();
    header.treeDigest = treeDigest.value();
    header.skipDigest = 7;
    ASSERT_TRUE(writer.close(header));
    const std::string stamps = harness::readFile(drive / "tree.stamps");
    ASSERT_EQ(stamps.size(), 64u + 3 * 48);

    struct Case {
        const char* what;
        std::string tree;
        std::string stamps;
        std::uint64_t skipDigest;
        bool read;
    };
    std::string damaged = stamps;
    damaged[64 + 48 + 8] ^= 1;  // the inode of C:\A
    std::string badMagic = stamps;
    badMagic[0] = 'x';
    const Case cases[] = {
        {"good", tree, stamps, 7, true},
        {"tree file of another size", tree + "C:\\C\r\n", stamps, 7, false},
        {"tree file of other bytes", "C:\\A\r\nC:\\A\\b\r\n", stamps, 7, false},
        {"cut short", tree, stamps.substr(0, stamps.size() - 1), 7, false},
        {"longer", tree, stamps + "x", 7, false},
        {"another skip list", tree, stamps, 8, false},
        {"damaged record", tree, damaged, 7, false},
        {"not a companion", tree, badMagic, 7, false},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(each.what);
        harness::writeFile(drive / "tree", each.tree);
        harness::writeFile(drive / "tree.stamps", each.stamps);
        vux::OldStamps old;
        ASSERT_EQ(old.open("C:\\tree", "C:\\tree.stamps", each.skipDigest), each.read);
        if (!each.read) continue;
        ASSERT_EQ(old.count(), 3u);
        const vux::StampRecord a = old.record(1), b = old.record(2);
        EXPECT_TRUE(old.record(0).trusted());
        EXPECT_EQ(old.record(0).end, 3u);
        EXPECT_TRUE(a.trusted());
        EXPECT_EQ(a.end, 3u);
        EXPECT_EQ(a.linkCount(), 3u);
        EXPECT_TRUE(a.standsFor({1, 5, 31, 41, 3, false, false}, 1));
        EXPECT_FALSE(a.standsFor({1, 5, 31, 41, 4, false, false}, 1));  // a subfolder came
        EXPECT_FALSE(a.standsFor({1, 5, 31, 41, 3, false, true}, 1));   // now a mount point
        EXPECT_FALSE(b.trusted());
        EXPECT_FALSE(b.standsFor({1, 6, 32, 42, 2, false, false}, 1));
        const char* name;
        ASSERT_EQ(old.name(b, 4, &name), 1u);
        EXPECT_EQ(name[0], 'B');
        old.close();
    }
    unsetenv("VUXDRIVES");
}
