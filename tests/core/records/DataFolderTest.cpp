#include "core/records/DataFolder.h"
#include "core/text/Encoding.h"

#include "RecordsTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <optional>

using namespace kaldrani::records;
using namespace records_test;

namespace {

class DataFolderTest : public ::testing::Test {
protected:
    TempFolder temp;
    DataFolder folder{temp.path() / "base"};
};

// Sets an environment variable for one scope and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (m_old)
            ::setenv(m_name, m_old->c_str(), 1);
        else
            ::unsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

TEST_F(DataFolderTest, FirstStartMakesFoldersAndAnEmptyListThenLoadsIt)
{
    EXPECT_TRUE(EnsureDataFolder(folder).empty());
    EXPECT_TRUE(std::filesystem::is_directory(temp.path() / "base" / "vemro" / "data"));
    ASSERT_TRUE(std::filesystem::is_regular_file(temp.path() / "base" / "vemro" / "website.txt"));
    EXPECT_EQ(std::filesystem::file_size(folder.siteListPath()), 0u);
    EXPECT_TRUE(siteListExists(folder));

    writeBytes(folder.siteListPath(), "a.com\r\nb.com");
    EXPECT_EQ(EnsureDataFolder(folder), (std::vector<std::string>{"a.com", "b.com"}));
    EXPECT_EQ(readBytes(folder.siteListPath()), "a.com\r\nb.com");
}

TEST_F(DataFolderTest, ExistingListIsKeptAndAMissingHistoryFolderIsMadeAgain)
{
    EnsureDataFolder(folder);
    writeBytes(folder.siteListPath(), "a.com\r\n");
    std::filesystem::remove(folder.historyFolder());

    EXPECT_EQ(EnsureDataFolder(folder), std::vector<std::string>{"a.com"});
    EXPECT_TRUE(std::filesystem::is_directory(folder.historyFolder()));
}

TEST_F(DataFolderTest, ListThatCannotBeCreatedRaisesTheCreateText)
{
    // A plain file where the base folder should be: no folder and no list can be made.
    writeBytes(temp.path() / "base", "");
    try {
        EnsureDataFolder(folder);
        FAIL() << "no error raised";
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot create file \"" + folder.siteListPath().string() + "\". Not a directory");
    }
}

TEST_F(DataFolderTest, MissingListRaisesTheOpenText)
{
    EXPECT_FALSE(siteListExists(folder));
    try {
        loadSiteList(folder);
        FAIL() << "no error raised";
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot open file \"" + folder.siteListPath().string() + "\". No such file or directory");
    }
}

TEST(DataFolder, DefaultBaseFollowsXdgDataHome)
{
    struct Case {
        const char* name;
        const char* xdg;
        const char* expected;
    };
    const Case cases[] = {
        {"set", "/srv/data", "/srv/data/kaldrani"},
        {"unset", nullptr, "/home/someone/.local/share/kaldrani"},
        {"empty counts as unset", "", "/home/someone/.local/share/kaldrani"},
        {"relative is ignored", "rel/data", "/home/someone/.local/share/kaldrani"},
    };
    ScopedEnv home("HOME", "/home/someone");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedEnv xdg("XDG_DATA_HOME", c.xdg);
        EXPECT_EQ(DataFolder::defaultBase(), std::filesystem::path(c.expected));
    }
}

TEST(DataFolder, HistoryPathStaysInsideTheHistoryFolder)
{
    const DataFolder folder("/b");
    struct Case {
        const char* name;
        std::string site;
        const char* expected; // nullptr: refused
    };
    const Case cases[] = {
        {"host", "www.example.com", "/b/vemro/data/www.example.com.txt"},
        {"line of blanks", "  ", "/b/vemro/data/  .txt"},
        {"chinese", "中文.cn", "/b/vemro/data/中文.cn.txt"},
        {"dots alone", "..", "/b/vemro/data/...txt"},
        {"backslash is an ordinary character here", "..\\website", "/b/vemro/data/..\\website.txt"},
        {"parent folder", "../website", nullptr},
        {"absolute", "/etc/passwd", nullptr},
        {"slash inside", "example.com/x", nullptr},
        {"NUL", std::string("a\0b", 3), nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.expected) {
            EXPECT_EQ(folder.historyPath(c.site), std::filesystem::path(c.expected));
        } else {
            try {
                folder.historyPath(c.site);
                ADD_FAILURE() << "not refused";
            } catch (const FileError& e) {
                EXPECT_TRUE(std::string(e.what()).starts_with("Cannot open file \"/b/vemro/data/")) << e.what();
            }
        }
    }
}

TEST_F(DataFolderTest, SiteListIsReadByTheDataFileRules)
{
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"empty file", "", {}},
        {"CR LF, final break starts no line", "a\r\nb\r\n", {"a", "b"}},
        {"no final break", "a\r\nb", {"a", "b"}},
        {"lone CR and lone LF", "a\rb\nc", {"a", "b", "c"}},
        {"LF CR is two breaks", "a\n\rb", {"a", "", "b"}},
        {"lines kept unchanged", "  \r\n\r\nA.com \r\nA.com\r\n", {"  ", "", "A.com ", "A.com"}},
        {"GBK", "\xB0\xD9\xB6\xC8.com\r\n", {"百度.com"}},
        {"UTF-8 mark", "\xEF\xBB\xBF" "百度.com\r\nx", {"百度.com", "x"}},
        {"UTF-16LE mark", std::string("\xFF\xFE" "a\0\r\0\n\0\x7E\x76", 10), {"a", "百"}},
        {"UTF-16BE mark", std::string("\xFE\xFF\0a\0\n\x76\x7E", 8), {"a", "百"}},
    };
    EnsureDataFolder(folder);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeBytes(folder.siteListPath(), c.bytes);
        EXPECT_EQ(loadSiteList(folder), c.lines);
    }
}

TEST(DataFolder, RemoveEmptyLines)
{
    struct Case {
        const char* name;
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {"three empty lines between two sites", "a.com\n\n\n\nb.com", "a.com\r\nb.com"},
        {"final break kept", "a.com\r\n\r\nb.com\r\n", "a.com\r\nb.com\r\n"},
        {"trailing empty lines leave one break", "a.com\n\n\n", "a.com\r\n"},
        {"leading empty lines", "\r\n\ra.com", "a.com"},
        {"line of blanks stays", "  \nb", "  \r\nb"},
        {"all empty", "\n\r\n\r", ""},
        {"nothing", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(removeEmptyLines(c.text), c.expected);
    }
}

TEST_F(DataFolderTest, SaveWritesGbkWithCrLfAndRoundTrips)
{
    EnsureDataFolder(folder);
    saveSiteList(folder, "百度.com\n\n\n  \nb.com\n");
    EXPECT_EQ(readBytes(folder.siteListPath()), "\xB0\xD9\xB6\xC8.com\r\n  \r\nb.com\r\n");
    EXPECT_EQ(loadSiteList(folder), (std::vector<std::string>{"百度.com", "  ", "b.com"}));

    // A character GBK lacks comes back as "?".
    saveSiteList(folder, "a\xF0\x9F\x98\x80.com");
    EXPECT_EQ(loadSiteList(folder), std::vector<std::string>{"a?.com"});

    saveSiteList(folder, "\n\n");
    EXPECT_EQ(std::filesystem::file_size(folder.siteListPath()), 0u);
    EXPECT_EQ(fileNames(folder.root()), (std::vector<std::string>{"data", "website.txt"}));
}

TEST_F(DataFolderTest, SaveKeepsTheEncodingOfAListWithAByteOrderMark)
{
    EnsureDataFolder(folder);
    struct Case {
        const char* name;
        std::string mark;
        std::string saved; // "😀ก.com\r\nb.com\r\n" as stored
    };
    const Case cases[] = {
        {"UTF-8", "\xEF\xBB\xBF", "😀ก.com\r\nb.com\r\n"},
        {"UTF-16LE", "\xFF\xFE", kaldrani::text::utf8ToUtf16("😀ก.com\r\nb.com\r\n", false)},
        {"UTF-16BE", "\xFE\xFF", kaldrani::text::utf8ToUtf16("😀ก.com\r\nb.com\r\n", true)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeBytes(folder.siteListPath(), c.mark + "a.com");
        saveSiteList(folder, "😀ก.com\n\nb.com\n");
        EXPECT_EQ(readBytes(folder.siteListPath()), c.mark + c.saved);
        EXPECT_EQ(loadSiteList(folder), (std::vector<std::string>{"😀ก.com", "b.com"}));
    }
}

TEST_F(DataFolderTest, FailedSaveLeavesTheOldListWhole)
{
    EnsureDataFolder(folder);
    const std::string old = "old.com\r\n";
    writeBytes(folder.siteListPath(), old);
    ::chmod(folder.siteListPath().c_str(), 0640);
    const std::string big(4096, 'x');
    try {
        FileSizeLimit limit(1000);
        saveSiteList(folder, big);
        FAIL() << "no error raised";
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot create file \"" + folder.siteListPath().string() + "\". File too large");
    }
    EXPECT_EQ(readBytes(folder.siteListPath()), old);
    EXPECT_EQ(fileNames(folder.root()), (std::vector<std::string>{"data", "website.txt"}));

    saveSiteList(folder, "new.com");
    EXPECT_EQ(readBytes(folder.siteListPath()), "new.com");
    struct stat st {};
    ASSERT_EQ(::stat(folder.siteListPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u) << "the replaced list keeps its permissions";
}

TEST_F(DataFolderTest, SaveIntoAMissingDataFolderFailsAndCreatesNothing)
{
    try {
        saveSiteList(folder, "a.com");
        FAIL() << "no error raised";
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot create file \"" + folder.siteListPath().string() + "\". No such file or directory");
    }
    EXPECT_FALSE(std::filesystem::exists(temp.path() / "base"));
}

} // namespace
