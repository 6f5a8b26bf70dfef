#include "Controls.h"
#include "core/records/DataFolder.h"
#include "core/records/FileIo.h"
#include "gui/ErrorBox.h"
#include "gui/HistoryTableModel.h"
#include "gui/HistoryWindow.h"
#include "gui/SiteListWindow.h"

#include "ByteFiles.h"

#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>

using namespace kaldrani::gui;

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
        SiteListWindow siteList(folder);
        HistoryWindow history(folder);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
        const QString expected =
            QString::fromStdString("Cannot open file \"" + folder.siteListPath().string() + "\". " + c.reason);
        EXPECT_EQ(errors, (QStringList{expected, expected}));
        EXPECT_EQ(control<QPlainTextEdit>(siteList, "siteBox")->toPlainText(), QString());
        EXPECT_EQ(control<QListWidget>(history, "siteList")->count(), 0);

        fs::remove(folder.siteListPath());
        writeBytes(folder.siteListPath(), "a.com\r\n");
        history.show();
        history.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&history));
        ASSERT_EQ(control<QListWidget>(history, "siteList")->count(), 1);
        control<QListWidget>(history, "siteList")->setCurrentRow(0);
        QTest::mouseClick(control<QListWidget>(history, "siteList")->viewport(), Qt::LeftButton, {},
                          control<QListWidget>(history, "siteList")->visualItemRect(control<QListWidget>(history, "siteList")->item(0)).center());
        EXPECT_EQ(history.cells()->cell(1, 1), QStringLiteral("1/2"));
        setApplicationErrorSink({});
    }
}

// The manager's box is empty while the list is refused: saving it would throw the user's
// whole list away, so the save is refused instead until the list can be read again.
TEST(OddSiteList, ManagerNeverReplacesAListItCouldNotRead)
{
    struct Case {
        const char* name;
        void (*make)(const fs::path& list);
        bool (*unchanged)(const fs::path& list);
        const char* reason;
    };
    const Case cases[] = {
        {"FIFO", [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0666), 0); },
         [](const fs::path& p) { return fs::is_fifo(p); }, "Not a regular file"},
        {"over the size bound",
         [](const fs::path& p) {
             writeBytes(p, "a.com\r\n");
             fs::resize_file(p, kaldrani::records::fileio::kMaxDataFileBytes + 1);
         },
         [](const fs::path& p) {
             return fs::is_regular_file(p) && fs::file_size(p) == kaldrani::records::fileio::kMaxDataFileBytes + 1;
         },
         "File too large (more than 64 MiB)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const DataFolder folder(dir.path().toStdString());
        const fs::path list = folder.siteListPath();
        fs::create_directories(folder.historyFolder());
        c.make(list);
        QStringList errors;
        setApplicationErrorSink([&](const QString& message) { errors << message; });
        const QString cannotSave = QString::fromStdString("Cannot create file \"" + list.string() + "\". ");

        SiteListWindow w(folder);
        ASSERT_EQ(errors.size(), 1); // the load's own error
        w.show();
        control<QPlainTextEdit>(w, "siteBox")->setPlainText("typed.com\n\nother.com");
        QTest::mouseClick(control<QPushButton>(w, "saveButton"), Qt::LeftButton);
        ASSERT_EQ(errors.size(), 2);
        EXPECT_EQ(errors[1], cannotSave + "The site list there was not read, so it is kept as it is: " + c.reason);
        EXPECT_TRUE(c.unchanged(list));
        EXPECT_TRUE(w.isVisible());
        EXPECT_EQ(control<QPlainTextEdit>(w, "siteBox")->toPlainText(), QStringLiteral("typed.com\nother.com"));

        // Mended behind the open window: the box still does not hold it, so no save yet.
        fs::remove(list);
        writeBytes(list, "a.com\r\nb.com\r\n");
        QTest::mouseClick(control<QPushButton>(w, "saveButton"), Qt::LeftButton);
        ASSERT_EQ(errors.size(), 3);
        EXPECT_TRUE(errors[2].startsWith(cannotSave + "The site list there was not read when this window opened"))
            << errors[2].toStdString();
        EXPECT_EQ(kaldrani::testing::readBytes(list), "a.com\r\nb.com\r\n");

        // Showing the window again loads the mended list, and saves work as ever.
        w.close();
        w.show();
        EXPECT_EQ(control<QPlainTextEdit>(w, "siteBox")->toPlainText(), QStringLiteral("a.com\nb.com"));
        control<QPlainTextEdit>(w, "siteBox")->appendPlainText("c.com");
        QTest::mouseClick(control<QPushButton>(w, "saveButton"), Qt::LeftButton);
        EXPECT_FALSE(w.isVisible());
        EXPECT_EQ(kaldrani::testing::readBytes(list), "a.com\r\nb.com\r\nc.com");

        // A missing list is no refusal: the save creates it.
        fs::remove(list);
        w.show();
        QTest::mouseClick(control<QPushButton>(w, "saveButton"), Qt::LeftButton);
        EXPECT_FALSE(w.isVisible());
        EXPECT_EQ(kaldrani::testing::readBytes(list), "a.com\r\nb.com\r\nc.com");
        EXPECT_EQ(errors.size(), 3) << errors.join('\n').toStdString();
        setApplicationErrorSink({});
    }
}

} // namespace
