#include "core/records/FileIo.h"
#include "core/records/FileStamp.h"

#include "RecordsTestSupport.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace kaldrani::records;
using namespace records_test;

namespace {

void writeRaw(const std::filesystem::path& file, const std::string& bytes)
{
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

TEST(FileWatch, SeesEveryKindOfChangeAndNothingElse)
{
    TempFolder temp;
    const std::filesystem::path file = temp.path() / "website.txt";
    FileWatch watch(file);
    EXPECT_TRUE(watch.changed()) << "the first look";
    EXPECT_FALSE(watch.changed()) << "still missing";

    writeRaw(file, "a.com\r\n");
    EXPECT_TRUE(watch.changed()) << "created";
    EXPECT_FALSE(watch.changed()) << "untouched";

    // The crash-safe rewrite of the same bytes still puts another file in place.
    fileio::replaceFile(file, "a.com\r\n");
    EXPECT_TRUE(watch.changed()) << "rewritten, same bytes";
    EXPECT_FALSE(watch.changed());

    writeRaw(file, "b.com\r\nc.com\r\n");
    EXPECT_TRUE(watch.changed()) << "written in place";

    std::filesystem::remove(file);
    EXPECT_TRUE(watch.changed()) << "removed";
    EXPECT_FALSE(watch.changed());
}

} // namespace
