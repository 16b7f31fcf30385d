// vux.exe under Wine with Wine's own cmd.exe: names that the shell would otherwise
// read as commands, and names outside the ANSI code page, carried into the shell.
#include <algorithm>

#include "wine_fixture.h"

using harness::crlf;

// --- Names the shell would read as commands ----------------------------------------------

TEST_F(WineWrapper, DirectoryNamesRunNoInjectedCommand) {
    struct Case {
        const char* name;
        const char* key;
        const char* cdLine;
    };
    const Case cases[] = {
        {"a&echo INJECTED", "\"a&*\"", "cd \"D:\\a&echo INJECTED\"\r\n"},
        {"p%PATH%q", "p*", "cd \"D:\\p%%PATH%%q\"\r\n"},
        {"100%", "100*", "cd \"D:\\100%%\"\r\n"},
        {"x^y", "x*", "cd \"D:\\x^y\"\r\n"},
        {"b c (d)", "b*", "cd D:\\b c (d)\r\n"},
    };
    for (const Case& c : cases) harness::makeDirs(d(c.name));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = cmd(from("D:\\WORK", {go(c.key)}));
        EXPECT_EQ(r.out, std::string("D:\\") + c.name + "\r\n");
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(file(d("TOOLS/dovux.bat")), std::string("D:\r\n") + c.cdLine);
    }
}

TEST_F(WineWrapper, AccentedNamesReachTheShell) {
    // Paths are handled in UTF-8, the shell reads the command batch in its console's
    // code page: "café" must arrive there as the same name.
    harness::makeDirs(d("caf\u00e9/sub"));
    auto r = cmd(from("D:\\WORK", {{"call D:\\TOOLS\\v.bat sub", "if exist ..\\..\\WORK echo ARRIVED"}}));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "ARRIVED\r\n");
}

// --- Names outside the ANSI code page ------------------------------------------------------

namespace {

bool isAscii(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// A command batch whose cd line is an ASCII short path to a folder ending in tail.
bool isShortPathChange(const std::string& batch, const std::string& tail) {
    std::vector<std::string> lines = linesOf(batch);
    return lines.size() == 2 && lines[0] == "D:" && lines[1].rfind("cd D:\\", 0) == 0 && isAscii(lines[1]) &&
           lines[1].find('~') != std::string::npos && lines[1].find_first_of("?*") == std::string::npos &&
           lines[1].size() >= tail.size() &&
           lines[1].compare(lines[1].size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

TEST_F(WineWrapper, NamesOutsideTheCodePageReachTheShell) {
    // The shell reads the command batch, and this test's own lines, in code page 437;
    // the ANSI code page is 1252. The tool, run again where the shell ends up, writes
    // the home file with the folder's name as the file system holds it.
    struct Case {
        const char* folder;
        const char* key;     // in code page 437
        const char* cdLine;  // exact, or empty for an ASCII short path
    };
    const Case cases[] = {
        {"\u0395\u03bb\u03bb\u03b7\u03bd\u03b9\u03ba\u03ac/proj", "proj", ""},
        {"\u65e5\u672c\u8a9e/src/zlib", "zlib", ""},
        {"\U0001F4C1 box/emo", "emo", ""},
        // Held by the console's code page but not by the ANSI one, and typed in the key.
        {"\u03a3\u0393", "\xe4\xe2", "cd D:\\\xe4\xe2\r\n"},
        {"caf\u00e9/cr\u00e8me", "cr*",
         "cd D:\\caf\x82\\cr\x8a"
         "me\r\n"},
    };
    for (const Case& c : cases) harness::makeDirs(d(c.folder));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        std::string folder = c.folder;
        std::string tail = folder.substr(folder.rfind('/') == std::string::npos ? 0 : folder.rfind('/') + 1);
        auto r = cmd(from("D:\\WORK", {{"call D:\\TOOLS\\v.bat " + std::string(c.key),
                                        "copy D:\\TOOLS\\dovux.bat X:\\change.bat >nul",
                                        "D:\\TOOLS\\vux.exe /q /define home"}}));
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(file(d("TOOLS/home.vux")), "D:\\" + hostToDrive(folder) + "\r\n");
        std::string change = file(root / "x/change.bat");
        if (*c.cdLine == '\0')
            EXPECT_TRUE(isShortPathChange(change, "\\" + tail)) << change;
        else
            EXPECT_EQ(change, std::string("D:\r\n") + c.cdLine);
    }
    // The words come from the wide command line, the texts leave in code page 437,
    // a character it lacks as "?".
    auto r = cmd({"D:", "cd \\WORK", "D:\\TOOLS\\vux.exe /ex \xe4\xe2zz", "call D:\\TOOLS\\v.bat proj",
                  "D:\\TOOLS\\vux.exe"});
    EXPECT_EQ(r.err, "vux: No match found for \"\xe4\xe2zz\".\r\n");
    EXPECT_EQ(r.out, "D:\\????????\\proj\r\n");
    // A home file of an earlier version, in the ANSI code page.
    harness::writeFile(d("TOOLS/home.vux"), "D:\\caf\xe9\r\n");
    r = cmd(from("D:\\WORK", {{"call D:\\TOOLS\\v.bat /h",
                               "if exist cr\x8a"
                               "me echo ARRIVED"}}));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "ARRIVED\r\n");
}

TEST_F(WineWrapper, SharedShortNamesNeverLeadIntoAnotherFolder) {
    // Six hundred folders named by two CJK characters each: some share a short name,
    // which leads to only one of them. Each holds a file named after its number.
    auto cjk = [](unsigned c) {
        return std::string{static_cast<char>(0xe0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3f)),
                           static_cast<char>(0x80 | (c & 0x3f))};
    };
    std::vector<std::string> names;
    for (unsigned i = 0; i < 600; ++i) {
        names.push_back(cjk(0x4e00 + i) + cjk(0x5e00 + (i * 7) % 600));
        harness::makeDirs(d("many/" + names.back()));
        harness::writeFile(d("many/" + names.back() + "/m" + std::to_string(i)), "");
    }
    // dir lists the folders with their short names, then each folder's files in the
    // same order.
    std::vector<std::string> shortNames;
    std::vector<std::string> numbers;
    int section = 0;
    for (const std::string& line : linesOf(cmd({"dir /x /s D:\\many"}).out)) {
        std::istringstream words(line);
        std::vector<std::string> w{std::istream_iterator<std::string>(words), {}};
        if (line.find("Directory of") != std::string::npos) ++section;
        if (section == 1 && w.size() >= 2 && line.find("<DIR>") != std::string::npos &&
            w[w.size() - 2].find('~') != std::string::npos)
            shortNames.push_back(w[w.size() - 2]);
        if (section > 1 && !w.empty() && w.back()[0] == 'm') numbers.push_back(w.back().substr(1));
    }
    ASSERT_EQ(shortNames.size(), names.size());
    ASSERT_EQ(numbers.size(), names.size());
    std::map<std::string, std::vector<int>> byShortName;
    for (std::size_t k = 0; k < names.size(); ++k)
        byShortName[shortNames[k]].push_back(std::stoi(numbers[k]));

    // Every folder of a shared short name as the home folder: the shell ends up there,
    // or, where its short path leads elsewhere, stays where it was.
    std::vector<int> shared;
    std::vector<std::string> lines{"D:"};
    for (const auto& entry : byShortName) {
        if (entry.second.size() < 2) continue;
        for (int i : entry.second) {
            std::string data = "h" + std::to_string(i);
            harness::makeDirs(root / ("x/" + data));
            harness::writeFile(root / ("x/" + data + "/home.vux"), "D:\\many\\" + names[i] + "\r\n");
            lines.insert(lines.end(), {"cd \\WORK", "set VUXDATADIR=X:\\" + data, "D:\\TOOLS\\vux.exe /q /h",
                                       "call D:\\TOOLS\\dovux.bat",
                                       "copy D:\\TOOLS\\dovux.bat X:\\" + data + "\\change.bat >nul",
                                       "echo @" + std::to_string(i), "dir /b"});
            shared.push_back(i);
        }
    }
    ASSERT_FALSE(shared.empty()) << "no two folders share a short name";
    std::map<int, std::string> listed;
    int current = -1;
    for (const std::string& line : linesOf(cmd(lines).out)) {
        if (!line.empty() && line[0] == '@')
            current = std::stoi(line.substr(1));
        else
            listed[current] += line;
    }
    int shortPaths = 0;
    int utf8Lines = 0;
    for (int i : shared) {
        SCOPED_TRACE(i);
        std::string change = file(root / ("x/h" + std::to_string(i) + "/change.bat"));
        if (isShortPathChange(change, "")) {
            ++shortPaths;
            EXPECT_EQ(listed[i], "m" + std::to_string(i));
        } else {
            // Wine's shell reads the UTF-8 line in code page 437 whatever chcp says, so
            // it finds no such folder and stays.
            ++utf8Lines;
            EXPECT_EQ(change, "D:\r\nchcp 65001 >nul\r\ncd D:\\many\\" + names[i] + "\r\nchcp 437 >nul\r\n");
            EXPECT_EQ(listed[i], "");
        }
    }
    EXPECT_GT(shortPaths, 0);
    EXPECT_GT(utf8Lines, 0);
}

// An install folder whose name the shell's code page can spell is named in it; one
// it can't spell is named by a short path that leads back to it. Either way the
// wrapper runs the program and moves the shell.
TEST_F(WineShell, WrapperNamesProgramFoldersOutsideTheAnsiCodePage) {
    const struct {
        const char* folder;
        const char* written;  // the folder on the lines that name files; empty: a checked short path
    } cases[] = {{"caf\xc3\xa9", "D:\\caf\x82\\"},
                 {"\xce\x95\xce\xbb\xce\xbb\xce\xb7\xce\xbd\xce\xb9\xce\xba\xce\xac", ""}};
    harness::makeDirs(d("BIN"));
    for (const auto& each : cases) {
        SCOPED_TRACE(each.folder);
        harness::makeDirs(d(each.folder));
        harness::copyFile(VUX_WINDOWS_BINARY, d(std::string(each.folder) + "/vux.exe"));
        auto install =
            wine::run({wine::loader, std::string("D:\\") + each.folder + "\\vux.exe", "/install", "/q"},
                      wine::Prefix::get().environment(), d("BIN"));
        EXPECT_EQ(install.code, 127) << install.err;
        std::vector<std::string> lines = linesOf(file(d("BIN/vux.bat")));
        ASSERT_EQ(lines.size(), 26u);
        const struct {
            std::string line, before, after;
        } named[] = {{lines[15], "\"", "vux.exe\" %*"},
                     {lines[17], "if not defined VUXSESSION call \"", "dovux.bat\""},
                     {lines[25], "", "dovux.bat"}};
        for (const auto& [line, before, after] : named) {
            ASSERT_EQ(line.substr(0, before.size()), before);
            std::string folder = line.substr(before.size());
            if (each.written[0] != '\0') {
                EXPECT_EQ(folder, each.written + after);
            } else {
                EXPECT_TRUE(std::all_of(folder.begin(), folder.end(), [](char c) {
                    return c > 0 && c != '?';
                })) << line;
                EXPECT_EQ(folder.substr(0, 3), "D:\\");
                EXPECT_EQ(folder.substr(folder.size() - after.size()), after);
            }
        }
        auto r = cmd({"D:", "cd \\WORK", "call D:\\BIN\\vux.bat tools", "cd"});
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, "D:\\TOOLS\r\n");
    }
}
