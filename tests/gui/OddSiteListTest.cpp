#include "core/records/DataFolder.h"
#include "core/records/FileIo.h"
#include "gui/ErrorBox.h"
#include "gui/HistoryTableModel.h"
#include "gui/Jilu.h"
#include "gui/ManiSite.h"

#include "ByteFiles.h"

#include <QListWidget>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>

namespace fs = std::filesystem;
using kaldrani::records::DataFolder;

namespace {

using kaldrani::testing::writeBytes;

// A site list that is a FIFO or far too big must not stop the windows from being made:
// each says why once, and the windows work on when the list is good again.
TEST(OddSiteList, WindowsStartWithTheErrorAndWorkOn)
{
    struct Case {
        const char* name;
        void (*make)(const fs::path& list);
        const char* reason;
    };
    const Case cases[] = {
        {"FIFO", [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0666), 0); }, "Not a regular file"},
        {"over the size bound",
         [](const fs::path& p) {
             writeBytes(p, "a.com\r\n");
             fs::resize_file(p, kaldrani::records::fileio::kMaxDataFileBytes + 1);
         },
         "File too large (more than 64 MiB)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const DataFolder folder(dir.path().toStdString());
        fs::create_directories(folder.historyFolder());
        c.make(folder.siteListPath());
        writeBytes(folder.historyPath("a.com"), "1/2,3\r\n");
        QStringList errors;
        setApplicationErrorSink([&](const QString& message) { errors << message; });

        const auto started = std::chrono::steady_clock::now();
        TfrmManiSite maniSite(folder);
        TfrmJilu jilu(folder);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
        const QString expected =
            QString::fromStdString("Cannot open file \"" + folder.siteListPath().string() + "\". " + c.reason);
        EXPECT_EQ(errors, (QStringList{expected, expected}));
        EXPECT_EQ(maniSite.MoUrl->toPlainText(), QString());
        EXPECT_EQ(jilu.urlList->count(), 0);

        fs::remove(folder.siteListPath());
        writeBytes(folder.siteListPath(), "a.com\r\n");
        jilu.show();
        jilu.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&jilu));
        ASSERT_EQ(jilu.urlList->count(), 1);
        jilu.urlList->setCurrentRow(0);
        QTest::mouseClick(jilu.urlList->viewport(), Qt::LeftButton, {},
                          jilu.urlList->visualItemRect(jilu.urlList->item(0)).center());
        EXPECT_EQ(jilu.cells()->cell(1, 1), QStringLiteral("1/2"));
        setApplicationErrorSink({});
    }
}

} // namespace
