// Start-up and the end of a run without a search: the current directory, the
// emptied command batch, the data file locations.
#include "native_fixture.h"

using harness::crlf;

class StartUp : public NativeDrives {};

TEST_F(StartUp, NoArgumentsPrintsCurrentDirectory) {
    harness::makeDirs(c("WORK"));
    harness::writeFile(tools("dovux.bat"), "stale\r\n");
    auto r = vux({}, c("WORK"));
    EXPECT_EQ(r.code, 127);
    EXPECT_EQ(r.out, banner + "C:\\WORK\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(file(tools("dovux.bat")), "");
    EXPECT_EQ(file(tools("dovux.sh")), "");
}

TEST_F(StartUp, DefaultDriveMapIsHostRoot) {
    env.erase("VUXDRIVES");
    auto r = vux({"/q"}, c(""));
    EXPECT_EQ(r.code, 127);
    EXPECT_EQ(r.out, "");
    auto plain = vux({}, c(""));
    EXPECT_EQ(plain.out, banner + "C:" + [&] {
        std::string p = c("");
        for (char& ch : p) if (ch == '/') ch = '\\';
        return p;
    }() + "\n");
}
