#include "core/records/DataFolder.h"
#include "core/records/FileIo.h"
#include "core/records/History.h"
#include "core/text/Encoding.h"

#include "OrdinaryUser.h"
#include "RecordsTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

using namespace kaldrani::records;
using namespace records_test;

namespace {

namespace fs = std::filesystem;

// The data folder of a user who copies files in, locks some and links others.
class UserFilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureDataFolder(folder);
        // An ordinary user must reach the folder the test made as root.
        fs::permissions(temp.path(), fs::perms(0755));
        for (const auto& p : {folder.base(), folder.root(), folder.historyFolder()})
            fs::permissions(p, fs::perms(0777));
        fs::permissions(folder.siteListPath(), fs::perms(0666));
    }

    // count lines "r<i>,<i>" from first on, CR LF each; `width` pads each line for long files.
    static std::string numbered(int first, int count, size_t width = 0)
    {
        std::string text;
        for (int i = first; i < first + count; ++i) {
            std::string line = 'r' + std::to_string(i) + "," + std::to_string(i);
            if (line.size() < width)
                line += "," + std::string(width - line.size(), 'x');
            text += line + "\r\n";
        }
        return text;
    }

    static size_t lineCount(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

    static mode_t modeOf(const fs::path& p)
    {
        struct stat st {};
        ::stat(p.c_str(), &st);
        return st.st_mode & 07777;
    }

    TempFolder temp;
    DataFolder folder{temp.path()};
    fs::path history = folder.historyFolder() / "a.com.txt";
};

TEST_F(UserFilesTest, AFileTheUserMayNotWriteIsNeverReplaced)
{
    writeBytes(folder.siteListPath(), "keep.com\r\n");
    fs::permissions(folder.siteListPath(), fs::perms(0444));
    const std::string old = numbered(1, 1500);
    writeBytes(history, old);
    fs::permissions(history, fs::perms(0444));

    const auto r = asOrdinaryUser([&] {
        std::string out;
        try {
            saveSiteList(folder, "new.com\r\n");
            out += "saved;";
        } catch (const FileError& e) {
            out += std::string(e.what()) + ";";
        }
        const auto records = ReadHistory(folder, "a.com");
        out += std::to_string(records.size()) + ";" + records.front().front() + ";" + records.back().front() + ";";
        try {
            appendHistoryLine(folder, "a.com", "new,record");
            out += "appended";
        } catch (const FileError& e) {
            out += e.what();
        }
        return out;
    });
    if (!r)
        GTEST_SKIP() << kCannotDrop;

    EXPECT_EQ(*r, "Cannot create file \"" + folder.siteListPath().string() + "\". Permission denied;1000;r1500;r501;"
                      + "Cannot open file \"" + history.string() + "\". Permission denied");
    EXPECT_EQ(readBytes(folder.siteListPath()), "keep.com\r\n");
    EXPECT_TRUE(readBytes(history) == old);
}

TEST_F(UserFilesTest, AWritableFileInAReadOnlyFolderIsSavedInPlace)
{
    writeBytes(folder.siteListPath(), "old-and-longer-than-the-new.com\r\n");
    writeBytes(history, numbered(1, 1200));
    fs::permissions(folder.siteListPath(), fs::perms(0666));
    fs::permissions(history, fs::perms(0666));
    fs::permissions(folder.root(), fs::perms(0555));
    fs::permissions(folder.historyFolder(), fs::perms(0555));

    const auto r = asOrdinaryUser([&] {
        saveSiteList(folder, "new.com\r\n");
        return std::to_string(ReadHistory(folder, "a.com").size());
    });
    fs::permissions(folder.root(), fs::perms(0777));
    fs::permissions(folder.historyFolder(), fs::perms(0777));
    if (!r)
        GTEST_SKIP() << kCannotDrop;

    EXPECT_EQ(*r, "1000");
    EXPECT_EQ(readBytes(folder.siteListPath()), "new.com\r\n");
    EXPECT_TRUE(readBytes(history) == numbered(201, 1000));
    EXPECT_EQ(fileNames(folder.root()), (std::vector<std::string>{"data", "website.txt"}));
}

TEST_F(UserFilesTest, ARewriteKeepsTheFileMode)
{
    writeBytes(folder.siteListPath(), "a.com\r\n");
    fs::permissions(folder.siteListPath(), fs::perms(0640));
    writeBytes(history, numbered(1, 1001));
    fs::permissions(history, fs::perms(0600));

    saveSiteList(folder, "b.com\r\n");
    ReadHistory(folder, "a.com");

    EXPECT_EQ(readBytes(folder.siteListPath()), "b.com\r\n");
    EXPECT_EQ(modeOf(folder.siteListPath()), 0640u);
    EXPECT_EQ(lineCount(readBytes(history)), 1000u);
    EXPECT_EQ(modeOf(history), 0600u);
}

TEST_F(UserFilesTest, ALinkIsKeptAndItsTargetWrittenOnEveryPath)
{
    const fs::path elsewhere = temp.path() / "elsewhere";
    fs::create_directory(elsewhere);
    // One link absolute, one relative to the link's own folder: both name the target.
    writeBytes(elsewhere / "sites.txt", "a.com\r\n");
    fs::remove(folder.siteListPath());
    fs::create_symlink(elsewhere / "sites.txt", folder.siteListPath());
    writeBytes(elsewhere / "a.txt", numbered(1, 1000));
    fs::create_symlink("../../elsewhere/a.txt", history);

    saveSiteList(folder, "b.com\r\n");
    appendHistoryLine(folder, "a.com", "r1001,1001");
    const auto records = ReadHistory(folder, "a.com");
    appendHistoryLine(folder, "a.com", "r1002,1002");

    // A link to a history not made yet gets its target made.
    fs::create_symlink(elsewhere / "b.txt", folder.historyFolder() / "b.com.txt");
    appendHistoryLine(folder, "b.com", "1,2");
    EXPECT_EQ(readBytes(elsewhere / "b.txt"), "1,2\r\n");
    fs::remove(elsewhere / "b.txt");

    EXPECT_TRUE(fs::is_symlink(folder.siteListPath()));
    EXPECT_TRUE(fs::is_symlink(history));
    EXPECT_EQ(readBytes(elsewhere / "sites.txt"), "b.com\r\n");
    EXPECT_EQ(records.size(), 1000u);
    EXPECT_TRUE(readBytes(elsewhere / "a.txt") == numbered(2, 1001));
    EXPECT_EQ(fileNames(elsewhere), (std::vector<std::string>{"a.txt", "sites.txt"}));
}

TEST_F(UserFilesTest, AnAppendToAUtf16FileWithAStrayByteStartsOnACharacterAndALine)
{
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        {"little-endian", std::string("\xFF\xFE" "a\0,\0b\0" "x", 9)},
        {"big-endian", std::string("\xFE\xFF" "\0a\0,\0b" "x", 9)},
        {"little-endian, stray byte after a break", std::string("\xFF\xFE" "a\0\r\0\n\0" "x", 9)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeBytes(history, c.bytes);
        appendHistoryLine(folder, "a.com", "1/2,百度");
        appendHistoryLine(folder, "a.com", "3/4,5");
        const auto records = ReadHistory(folder, "a.com");
        ASSERT_GE(records.size(), 3u);
        EXPECT_EQ(records[0], (std::vector<std::string>{"3/4", "5"}));
        EXPECT_EQ(records[1], (std::vector<std::string>{"1/2", "百度"}));
    }
}

TEST_F(UserFilesTest, WhatIsNoRegularFileIsRefusedAtOnce)
{
    struct Case {
        const char* name;
        bool fifo; // else a folder
        const char* reason;
    };
    const Case cases[] = {
        {"FIFO", true, "Not a regular file"},
        {"folder", false, "Is a directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& p : {folder.siteListPath(), history}) {
            fs::remove_all(p);
            if (c.fifo)
                ASSERT_EQ(::mkfifo(p.c_str(), 0666), 0);
            else
                fs::create_directory(p);
        }
        const auto started = std::chrono::steady_clock::now();
        const std::string listText = "Cannot open file \"" + folder.siteListPath().string() + "\". " + c.reason;
        const std::string historyText = "Cannot open file \"" + history.string() + "\". " + c.reason;
        EXPECT_TRUE(siteListExists(folder));
        try {
            loadSiteList(folder);
            ADD_FAILURE() << "loaded";
        } catch (const FileError& e) {
            EXPECT_EQ(e.what(), listText);
        }
        try {
            EnsureDataFolder(folder);
            ADD_FAILURE() << "loaded";
        } catch (const FileError& e) {
            EXPECT_EQ(e.what(), listText);
        }
        EXPECT_TRUE(makeDataFolder(folder));
        for (const auto& step : {+[](const DataFolder& f) { ReadHistory(f, "a.com"); },
                                 +[](const DataFolder& f) { appendHistoryLine(f, "a.com", "1,2"); }}) {
            try {
                step(folder);
                ADD_FAILURE() << "read or written";
            } catch (const FileError& e) {
                EXPECT_EQ(e.what(), historyText);
            }
        }
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    }
}

TEST_F(UserFilesTest, FilesPastTheSizeBoundAreRefusedAndLongRecordsBounded)
{
    // Sparse: the size is there without the disk space.
    for (const auto& p : {folder.siteListPath(), history}) {
        writeBytes(p, "a.com\r\n");
        fs::resize_file(p, fileio::kMaxDataFileBytes + 1);
    }
    const std::string tooLarge = "\". File too large (more than 64 MiB)";
    try {
        loadSiteList(folder);
        ADD_FAILURE() << "loaded";
    } catch (const FileError& e) {
        EXPECT_EQ(e.what(), "Cannot open file \"" + folder.siteListPath().string() + tooLarge);
    }
    try {
        ReadHistory(folder, "a.com");
        ADD_FAILURE() << "read";
    } catch (const FileError& e) {
        EXPECT_EQ(e.what(), "Cannot open file \"" + history.string() + tooLarge);
    }
    EXPECT_EQ(fs::file_size(history), fileio::kMaxDataFileBytes + 1);

    std::string manyFields;
    for (int i = 0; i < 500; ++i)
        manyFields += std::to_string(i) + ",";
    writeBytes(history, "1,2\r\n" + std::string(100000, 'x') + ",tail\r\n" + manyFields + "\r\n");
    const auto records = ReadHistory(folder, "a.com");
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].size(), 64u);
    EXPECT_EQ(records[0].back(), "63");
    EXPECT_EQ(records[1], (std::vector<std::string>{std::string(8192, 'x')}));
    EXPECT_EQ(records[2], (std::vector<std::string>{"1", "2"}));
}

TEST_F(UserFilesTest, ReadingFromTheEndGivesWhatTheWholeFileHolds)
{
    // Lines of differing lengths put the stretch boundaries everywhere, also between a
    // CR and its LF; 1500 lines of ~150 bytes take several stretches.
    std::vector<std::string> lines;
    for (int i = 1; i <= 1500; ++i)
        lines.push_back('r' + std::to_string(i) + ",百度" + std::string(static_cast<size_t>(60 + i * 7 % 150), 'y'));
    auto join = [&](size_t from, const char* brk) {
        std::string text;
        for (size_t i = from; i < lines.size(); ++i)
            text += lines[i] + brk;
        return text;
    };
    auto utf16 = [](const std::string& utf8, bool bigEndian) {
        std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
        for (size_t i = 0; i < utf8.size();) {
            const auto b = static_cast<unsigned char>(utf8[i]);
            char32_t cp = b;
            size_t len = 1;
            if (b >= 0xE0) {
                cp = (b & 0x0F) << 12 | (utf8[i + 1] & 0x3F) << 6 | (utf8[i + 2] & 0x3F);
                len = 3;
            }
            const char hi = static_cast<char>(cp >> 8), lo = static_cast<char>(cp & 0xFF);
            out += bigEndian ? hi : lo;
            out += bigEndian ? lo : hi;
            i += len;
        }
        return out;
    };
    struct Case {
        const char* name;
        std::string bytes;
        size_t lines;
        bool rewritten;
    };
    const Case cases[] = {
        {"GBK, CR LF", kaldrani::text::utf8ToGbk(join(0, "\r\n")), 1500, true},
        {"UTF-8 with a mark, CR LF", "\xEF\xBB\xBF" + join(0, "\r\n"), 1500, true},
        {"UTF-8 with a mark, lone LF", "\xEF\xBB\xBF" + join(0, "\n"), 1500, true},
        {"UTF-8 with a mark, lone CR", "\xEF\xBB\xBF" + join(0, "\r"), 1500, true},
        {"UTF-16LE, CR LF", utf16(join(0, "\r\n"), false), 1500, true},
        {"UTF-16BE, LF", utf16(join(0, "\n"), true), 1500, true},
        {"exactly 1000 long lines, LF", "\xEF\xBB\xBF" + join(500, "\n"), 1000, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeBytes(history, c.bytes);
        const auto records = ReadHistory(folder, "a.com");
        ASSERT_EQ(records.size(), 1000u);
        for (size_t k = 0; k < records.size(); ++k) {
            const std::string& expected = lines[lines.size() - 1 - k];
            ASSERT_EQ(records[k], (std::vector<std::string>{expected.substr(0, expected.find(',')),
                                                            expected.substr(expected.find(',') + 1)}))
                << "record " << k;
        }
        // A trim keeps the file's own encoding and mark and writes CR LF.
        if (c.rewritten) {
            const std::string now = readBytes(history);
            EXPECT_EQ(kaldrani::text::detectByteOrderMark(now), kaldrani::text::detectByteOrderMark(c.bytes));
            EXPECT_TRUE(kaldrani::text::decodeFileText(now) == join(500, "\r\n"));
        }
        else
            EXPECT_TRUE(readBytes(history) == c.bytes);
    }
}

TEST_F(UserFilesTest, AFailedAppendLeavesTheFileAsItWas)
{
    struct Case {
        const char* name;
        std::string before; // empty: no file yet
    };
    const Case cases[] = {
        {"new site: no empty file stays", ""},
        {"existing history: no part of the record stays", "1,2\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(history);
        if (!c.before.empty())
            writeBytes(history, c.before);
        {
            FileSizeLimit limit(c.before.size() + 3);
            try {
                appendHistoryLine(folder, "a.com", "830/45,880/12,2010-1-6 7:36:31");
                ADD_FAILURE() << "appended";
            } catch (const FileError& e) {
                EXPECT_EQ(std::string(e.what()), "Cannot write file \"" + history.string() + "\". File too large");
            }
        }
        EXPECT_EQ(fs::exists(history), !c.before.empty());
        if (!c.before.empty()) {
            EXPECT_EQ(readBytes(history), c.before);
        }
    }
}

TEST_F(UserFilesTest, ALockHeldTooLongIsAClearErrorNotAWait)
{
    writeBytes(history, "1,2\r\n");
    const int holder = ::open(history.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    const auto started = std::chrono::steady_clock::now();
    try {
        fileio::LockedFile file(history, std::chrono::milliseconds(100));
        ADD_FAILURE() << "locked twice";
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + history.string() + "\". Another program keeps the file locked");
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    ::close(holder);
    fileio::LockedFile file(history, std::chrono::milliseconds(100));
    EXPECT_EQ(file.size(), 5u);
}

} // namespace
