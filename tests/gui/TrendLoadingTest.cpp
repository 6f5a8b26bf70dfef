// Built beside the program and without the trend window's library linked, so the library is
// found and loaded the way the program does it.
#include "ByteFiles.h"
#include "core/records/DataFolder.h"
#include "core/text/Encoding.h"
#include "gui/ToolWindow.h"
#include "gui/TrendLoader.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <filesystem>
#include <memory>

using namespace kaldrani::gui;

TEST(TrendLoading, LoadsTheLibraryBesideTheProgramOnFirstUse)
{
    EXPECT_EQ(::dlopen(KALDRANI_TREND_LIBRARY_NAME, RTLD_NOW | RTLD_NOLOAD), nullptr) << "not loaded at start";

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const kaldrani::records::DataFolder folder(dir.path().toStdString());
    std::filesystem::create_directories(folder.historyFolder());
    kaldrani::testing::writeBytes(folder.historyPath("a.com"),
                                  kaldrani::text::utf8ToGbk("800/40,870/11,0/0,96/3,150/0,39/0,300/8,4,20,640,12,2010-1-6 7:36:31\r\n"));

    QWidget owner;
    ToolWindow* window = createTrendWindow(folder, &owner);
    ASSERT_NE(window, nullptr);
    EXPECT_NE(::dlopen(KALDRANI_TREND_LIBRARY_NAME, RTLD_NOW | RTLD_NOLOAD), nullptr);
    EXPECT_EQ(window->objectName(), QStringLiteral("trendWindow"));
    EXPECT_EQ(window->parent(), &owner);
    EXPECT_FALSE(window->isVisible());

    showTrendSite(window, QStringLiteral("a.com"));
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->windowTitle().contains(QStringLiteral("a.com"))) << window->windowTitle().toStdString();

    // A second window comes from the library already loaded.
    std::unique_ptr<ToolWindow> second(createTrendWindow(folder, nullptr));
    EXPECT_EQ(second->metaObject(), window->metaObject());
}
