#include "ByteFiles.h"
#include "Controls.h"
#include "core/records/DataFolder.h"
#include "core/text/Encoding.h"
#include "gui/ErrorBox.h"
#include "gui/HistoryTableModel.h"
#include "gui/HistoryWindow.h"
#include "gui/SiteListWindow.h"

#include <QHeaderView>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using namespace kaldrani::gui;

namespace fs = std::filesystem;
using kaldrani::records::DataFolder;

namespace {

// The twelve fields of the n-th record of a site: every field tells its record apart.
std::vector<std::string> recordFields(int n)
{
    std::vector<std::string> fields;
    for (int engine = 1; engine <= 7; ++engine)
        fields.push_back(std::to_string(n * 10 + engine) + "/" + std::to_string(engine));
    fields.push_back(std::to_string(n % 11));
    fields.push_back(std::to_string(n % 101));
    fields.push_back('A' + std::to_string(n));
    fields.push_back('C' + std::to_string(n));
    fields.push_back("2010-1-6 7:36:" + std::to_string(n));
    return fields;
}

std::string join(const std::vector<std::string>& fields)
{
    std::string line;
    for (const auto& f : fields)
        line += (line.empty() ? "" : ",") + f;
    return line;
}

// The file text of records 1..count, oldest first, each ending in CR LF.
std::string historyText(int count)
{
    std::string text;
    for (int n = 1; n <= count; ++n)
        text += join(recordFields(n)) + "\r\n";
    return text;
}

using kaldrani::testing::readBytes;
using kaldrani::testing::writeBytes;

QString q(const std::string& text)
{
    return QString::fromStdString(text);
}

// Each test gets a data folder of its own and catches what the error box would show.
class RecordsWindows : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        fs::create_directories(m_folder.historyFolder());
        writeBytes(m_folder.siteListPath(), "");
        setApplicationErrorSink([this](const QString& message) { m_errors << message; });
    }

    void TearDown() override { setApplicationErrorSink({}); }

    void writeSites(const std::string& bytes) { writeBytes(m_folder.siteListPath(), bytes); }
    void writeHistory(const std::string& site, const std::string& bytes)
    {
        writeBytes(m_folder.historyPath(site), bytes);
    }

    std::unique_ptr<HistoryWindow> openHistory()
    {
        auto w = std::make_unique<HistoryWindow>(m_folder);
        w->show();
        activate(w.get());
        return w;
    }

    static void activate(QWidget* w)
    {
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    }

    // Clicks the list item that reads site, as the user would.
    static void clickSite(HistoryWindow& w, const QString& site)
    {
        const auto found = control<QListWidget>(w, "siteList")->findItems(site, Qt::MatchExactly);
        ASSERT_FALSE(found.isEmpty()) << site.toStdString();
        control<QListWidget>(w, "siteList")->scrollToItem(found.front());
        QTest::mouseClick(control<QListWidget>(w, "siteList")->viewport(), Qt::LeftButton, {},
                          control<QListWidget>(w, "siteList")->visualItemRect(found.front()).center());
    }

    // Rows first..last of the grid hold records from, from - 1, ... (newest first).
    static void expectRecords(const HistoryWindow& w, int first, int last, int from)
    {
        for (int row = first; row <= last; ++row) {
            const auto fields = recordFields(from - (row - first));
            for (int col = 1; col <= 12; ++col)
                ASSERT_EQ(w.cells()->cell(col, row), q(fields[static_cast<size_t>(col - 1)]))
                    << "cell (" << col << ", " << row << ")";
        }
    }

    static void expectEmptyRows(const HistoryWindow& w, int first, int last)
    {
        for (int row = first; row <= last; ++row)
            for (int col = 1; col <= 12; ++col)
                ASSERT_TRUE(w.cells()->cell(col, row).isEmpty()) << "cell (" << col << ", " << row << ")";
    }

    static QStringList items(const QListWidget* list)
    {
        QStringList out;
        for (int i = 0; i < list->count(); ++i)
            out << list->item(i)->text();
        return out;
    }

    QTemporaryDir m_dir;
    DataFolder m_folder { m_dir.path().toStdString() };
    QStringList m_errors;
};

TEST_F(RecordsWindows, HistoryFirstOpeningShowsHeadingsNumbersAndEmptyCells)
{
    writeSites("a.com\r\nb.com\r\n");
    const auto w = openHistory();

    EXPECT_EQ(w->windowTitle(), QStringLiteral(" 查询记录"));
    EXPECT_EQ(w->size(), QSize(742, 481));
    EXPECT_EQ(w->minimumSize(), w->maximumSize());
    EXPECT_EQ(control<QListWidget>(w, "siteList")->geometry(), QRect(8, 8, 161, 465));
    EXPECT_EQ(control<QTableView>(w, "historyGrid")->geometry(), QRect(175, 8, 537, 440));
    EXPECT_EQ(control<QScrollBar>(w, "gridHorizontalBar")->geometry(), QRect(175, 456, 542, 19));
    EXPECT_EQ(control<QScrollBar>(w, "gridVerticalBar")->geometry(), QRect(717, 8, 19, 464));
    EXPECT_EQ(items(control<QListWidget>(w, "siteList")), (QStringList { "a.com", "b.com" }));
    EXPECT_EQ(control<QListWidget>(w, "siteList")->selectionMode(), QAbstractItemView::SingleSelection);

    const QStringList headings = { "序号", "百度/反链", "谷歌/反链", "雅虎/反链", "搜狗/反链",
                                   "搜搜/反链", "有道/反链", "必应/反链", "PageRank", "SogouRank",
                                   "AlexaRank", "ChinaRank", "查询时间" };
    const int widths[] = { 30, 85, 85, 85, 85, 85, 85, 85, 65, 70, 65, 65, 150 };
    const QAbstractItemModel* model = control<QTableView>(w, "historyGrid")->model();
    ASSERT_EQ(model->columnCount(), 12);
    ASSERT_EQ(model->rowCount(), 1000);
    EXPECT_EQ(w->cells()->cell(0, 0), headings[0]);
    EXPECT_EQ(control<QTableView>(w, "historyGrid")->verticalHeader()->width(), widths[0]);
    for (int col = 1; col <= 12; ++col) {
        SCOPED_TRACE(col);
        EXPECT_EQ(model->headerData(col - 1, Qt::Horizontal).toString(), headings[col]);
        EXPECT_EQ(control<QTableView>(w, "historyGrid")->columnWidth(col - 1), widths[col]);
    }
    EXPECT_EQ(control<QTableView>(w, "historyGrid")->horizontalHeader()->height(), 20);
    for (int row = 1; row <= 1000; ++row) {
        ASSERT_EQ(model->headerData(row - 1, Qt::Vertical).toString(), QString::number(row));
        ASSERT_EQ(control<QTableView>(w, "historyGrid")->rowHeight(row - 1), 20);
    }
    expectEmptyRows(*w, 1, 1000);
    EXPECT_FALSE(model->flags(model->index(0, 0)) & Qt::ItemIsEditable);
    EXPECT_EQ(control<QTableView>(w, "historyGrid")->editTriggers(), QAbstractItemView::NoEditTriggers);

    // The shown bars drive the grid: the 1040 pixels of columns do not fit in 537.
    EXPECT_GT(control<QScrollBar>(w, "gridHorizontalBar")->maximum(), 0);
    EXPECT_GT(control<QScrollBar>(w, "gridVerticalBar")->maximum(), 0);
    control<QScrollBar>(w, "gridVerticalBar")->setValue(control<QScrollBar>(w, "gridVerticalBar")->maximum());
    EXPECT_EQ(control<QTableView>(w, "historyGrid")->verticalScrollBar()->value(), control<QScrollBar>(w, "gridVerticalBar")->maximum());
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

TEST_F(RecordsWindows, HistoryCreationWithoutSiteListIsSilent)
{
    fs::remove(m_folder.siteListPath());
    HistoryWindow w(m_folder);
    EXPECT_EQ(control<QListWidget>(w, "siteList")->count(), 0);
    EXPECT_EQ(w.cells()->cell(0, 1000), QStringLiteral("1000"));
    EXPECT_TRUE(m_errors.isEmpty());
}

TEST_F(RecordsWindows, HistoryShowsThreeRecordsNewestFirst)
{
    writeSites("a.com\r\n");
    writeHistory("a.com", historyText(3));
    const auto w = openHistory();
    clickSite(*w, "a.com");
    expectRecords(*w, 1, 3, 3);
    expectEmptyRows(*w, 4, 1000);
    EXPECT_EQ(w->cells()->cell(0, 2), QStringLiteral("2"));
    EXPECT_TRUE(m_errors.isEmpty());
}

TEST_F(RecordsWindows, HistoryKeyboardSelectionShowsTheSite)
{
    writeSites("a.com\r\nb.com\r\n");
    writeHistory("a.com", historyText(1));
    writeHistory("b.com", historyText(2));
    const auto w = openHistory();
    clickSite(*w, "a.com");
    expectRecords(*w, 1, 1, 1);
    QTest::keyClick(control<QListWidget>(w, "siteList"), Qt::Key_Down);
    ASSERT_EQ(control<QListWidget>(w, "siteList")->currentItem()->text(), QStringLiteral("b.com"));
    expectRecords(*w, 1, 2, 2);
}

TEST_F(RecordsWindows, HistoryShowsNewest1000AndCutsTheFile)
{
    writeSites("big.com\r\n");
    writeHistory("big.com", historyText(1200));
    const auto w = openHistory();
    clickSite(*w, "big.com");
    expectRecords(*w, 1, 1000, 1200);

    std::string expected;
    for (int n = 201; n <= 1200; ++n)
        expected += join(recordFields(n)) + "\r\n";
    EXPECT_EQ(readBytes(m_folder.historyPath("big.com")), expected);
}

TEST_F(RecordsWindows, HistoryEmptiesTheGridBeforeAShorterHistory)
{
    writeSites("five.com\r\ntwo.com\r\n");
    writeHistory("five.com", historyText(5));
    writeHistory("two.com", historyText(2));
    const auto w = openHistory();
    clickSite(*w, "five.com");
    expectRecords(*w, 1, 5, 5);
    clickSite(*w, "two.com");
    expectRecords(*w, 1, 2, 2);
    expectEmptyRows(*w, 3, 1000);
}

TEST_F(RecordsWindows, HistoryKeepsOldRowsWhenTheNewestLineWasEmpty)
{
    writeSites("gap.com\r\ntwo.com\r\n");
    writeHistory("gap.com", historyText(4) + "\r\n"); // the newest line is empty
    writeHistory("two.com", historyText(2));
    const auto w = openHistory();
    clickSite(*w, "gap.com");
    expectEmptyRows(*w, 1, 1);
    expectRecords(*w, 2, 5, 4);

    // Cell (1, 1) is empty, so the grid is not emptied first: rows 3..5 keep gap.com's.
    clickSite(*w, "two.com");
    expectRecords(*w, 1, 2, 2);
    expectRecords(*w, 3, 5, 3);
    expectEmptyRows(*w, 6, 1000);
}

TEST_F(RecordsWindows, HistoryPutsFieldsIntoColumnsInFileOrder)
{
    struct Case {
        const char* name;
        const char* line;
        std::vector<std::string> cells; // columns 1..12
    };
    const Case cases[] = {
        { "whole record", "1/2,3/4,5/6,7/8,9/10,11/12,13/14,4,23,640,7,2010-1-6 7:36:31",
          { "1/2", "3/4", "5/6", "7/8", "9/10", "11/12", "13/14", "4", "23", "640", "7", "2010-1-6 7:36:31" } },
        { "empty Alexa moves ChinaRank and time forward",
          "1/2,3/4,5/6,7/8,9/10,11/12,13/14,4,23,,7,2010-1-6 7:36:31",
          { "1/2", "3/4", "5/6", "7/8", "9/10", "11/12", "13/14", "4", "23", "7", "2010-1-6 7:36:31", "" } },
        { "comma in Alexa: the thirteenth field is not shown",
          "1/2,3/4,5/6,7/8,9/10,11/12,13/14,4,23,1,640,7,2010-1-6 7:36:31",
          { "1/2", "3/4", "5/6", "7/8", "9/10", "11/12", "13/14", "4", "23", "1", "640", "7" } },
        { "quoted comma stays in its field",
          "1/2,3/4,5/6,7/8,9/10,11/12,13/14,4,23,\"1,640\", 7 ,2010-1-6",
          { "1/2", "3/4", "5/6", "7/8", "9/10", "11/12", "13/14", "4", "23", "\"1,640\"", " 7 ", "2010-1-6" } },
        { "Chinese text from GBK", "\xb2\xe9\xd1\xaf\xca\xa7\xb0\xdc,0/0",
          { "查询失败", "0/0", "", "", "", "", "", "", "", "", "", "" } },
    };
    std::string sites;
    for (int i = 0; i < static_cast<int>(std::size(cases)); ++i) {
        sites += 's' + std::to_string(i) + "\r\n";
        writeHistory('s' + std::to_string(i), std::string(cases[i].line) + "\r\n");
    }
    writeSites(sites);
    const auto w = openHistory();
    for (int i = 0; i < static_cast<int>(std::size(cases)); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        clickSite(*w, q('s' + std::to_string(i)));
        for (int col = 1; col <= 12; ++col)
            EXPECT_EQ(w->cells()->cell(col, 1), q(c.cells[static_cast<size_t>(col - 1)])) << "column " << col;
        expectEmptyRows(*w, 2, 2);
    }
}

TEST_F(RecordsWindows, HistoryMissingOrEmptyHistoryEmptiesTheGridSilently)
{
    writeSites("a.com\r\nnever.com\r\nempty.com\r\n");
    writeHistory("a.com", historyText(3));
    writeHistory("empty.com", "");
    const auto w = openHistory();
    for (const char* site : { "never.com", "empty.com" }) {
        SCOPED_TRACE(site);
        clickSite(*w, "a.com");
        expectRecords(*w, 1, 3, 3);
        clickSite(*w, site);
        expectEmptyRows(*w, 1, 1000);
    }
    EXPECT_FALSE(fs::exists(m_folder.historyPath("never.com")));
    EXPECT_TRUE(m_errors.isEmpty());
}

TEST_F(RecordsWindows, HistoryActivationReloadsTheList)
{
    writeSites("a.com\r\nb.com\r\nc.com\r\n");
    writeHistory("b.com", historyText(2));
    const auto w = openHistory();
    clickSite(*w, "b.com");

    // The site is removed through the site manager while the history window is inactive.
    SiteListWindow manager(m_folder);
    manager.show();
    activate(&manager);
    control<QPlainTextEdit>(manager, "siteBox")->setPlainText("a.com\nc.com");
    QTest::mouseClick(control<QPushButton>(manager, "saveButton"), Qt::LeftButton);
    ASSERT_FALSE(manager.isVisible());

    activate(w.get());
    EXPECT_EQ(items(control<QListWidget>(w, "siteList")), (QStringList { "a.com", "c.com" }));
    EXPECT_TRUE(control<QListWidget>(w, "siteList")->selectedItems().isEmpty());
    expectRecords(*w, 1, 2, 2); // the grid keeps the last history until the next click
    EXPECT_TRUE(m_errors.isEmpty());
}

TEST_F(RecordsWindows, HistoryActivationWithoutSiteListShowsTheErrorOnce)
{
    writeSites("a.com\r\n");
    const auto w = openHistory();
    ASSERT_EQ(control<QListWidget>(w, "siteList")->count(), 1);
    fs::remove(m_folder.siteListPath());

    QEvent activation(QEvent::WindowActivate);
    QApplication::sendEvent(w.get(), &activation);
    ASSERT_EQ(m_errors.size(), 1);
    const std::string expected = "Cannot open file \"" + m_folder.siteListPath().string() + "\". ";
    EXPECT_TRUE(m_errors[0].toStdString().starts_with(expected)) << m_errors[0].toStdString();
    EXPECT_EQ(control<QListWidget>(w, "siteList")->count(), 0);

    // Closing the box hands the focus back at once; that must not open the box again, nor
    // must any later activation while the list stays missing.
    QApplication::sendEvent(w.get(), &activation);
    EXPECT_EQ(m_errors.size(), 1);

    // Once the list is back, the next activation reads it.
    writeSites("b.com\r\n");
    QApplication::sendEvent(w.get(), &activation);
    EXPECT_EQ(items(control<QListWidget>(w, "siteList")), QStringList{"b.com"});
    EXPECT_EQ(m_errors.size(), 1);
}

TEST_F(RecordsWindows, HistoryCloseOnlyHides)
{
    writeSites("a.com\r\n");
    writeHistory("a.com", historyText(2));
    const auto w = openHistory();
    clickSite(*w, "a.com");
    QPointer<HistoryWindow> alive(w.get());
    w->close();
    ASSERT_TRUE(alive);
    EXPECT_FALSE(w->isVisible());
    w->show();
    expectRecords(*w, 1, 2, 2);
}

TEST_F(RecordsWindows, SiteListWindowLayoutAndLoad)
{
    writeSites("a.com\r\n  \r\n\xcd\xf8\xd5\xbe.cn\r\n");
    SiteListWindow w(m_folder);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("管理站点"));
    EXPECT_EQ(w.size(), QSize(188, 300));
    EXPECT_EQ(w.minimumSize(), w.maximumSize());
    EXPECT_EQ(control<QPlainTextEdit>(w, "siteBox")->geometry(), QRect(3, 0, 185, 265));
    EXPECT_TRUE(w.rect().contains(control<QPlainTextEdit>(w, "siteBox")->geometry()));
    EXPECT_EQ(control<QPlainTextEdit>(w, "siteBox")->font().family(), QStringLiteral("Arial"));
    EXPECT_EQ(control<QPlainTextEdit>(w, "siteBox")->toolTip(), QStringLiteral("按行输入网址"));
    EXPECT_EQ(control<QPlainTextEdit>(w, "siteBox")->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(control<QPlainTextEdit>(w, "siteBox")->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(control<QPushButton>(w, "saveButton")->text(), QStringLiteral("保  存"));
    EXPECT_EQ(control<QPushButton>(w, "saveButton")->geometry(), QRect(16, 271, 57, 25));
    EXPECT_EQ(control<QPushButton>(w, "cancelButton")->text(), QStringLiteral("取 消"));
    EXPECT_EQ(control<QPushButton>(w, "cancelButton")->geometry(), QRect(104, 271, 57, 25));
    EXPECT_EQ(control<QPlainTextEdit>(w, "siteBox")->toPlainText(), QStringLiteral("a.com\n  \n网站.cn"));

    fs::remove(m_folder.siteListPath());
    SiteListWindow withoutList(m_folder);
    EXPECT_TRUE(control<QPlainTextEdit>(withoutList, "siteBox")->toPlainText().isEmpty());
    EXPECT_TRUE(m_errors.isEmpty());
}

TEST_F(RecordsWindows, SiteListWindowSaveWritesTheBoxWithoutEmptyLines)
{
    struct Case {
        const char* name;
        const char* box;
        const char* file;
        const char* boxAfter;
    };
    const Case cases[] = {
        { "three empty lines between two sites", "a.com\n\n\n\nb.com", "a.com\r\nb.com", "a.com\nb.com" },
        { "all lines empty", "\n\n\n", "", "" },
        { "empty box", "", "", "" },
        { "a line of two blanks survives", "a.com\n  \nb.com", "a.com\r\n  \r\nb.com", "a.com\n  \nb.com" },
        { "a final line break is kept", "\na.com\n\nb.com\n", "a.com\r\nb.com\r\n", "a.com\nb.com\n" },
        { "duplicates and GBK", "网站.cn\n网站.cn", "\xcd\xf8\xd5\xbe.cn\r\n\xcd\xf8\xd5\xbe.cn", "网站.cn\n网站.cn" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeSites("old.com\r\n");
        SiteListWindow w(m_folder);
        w.show();
        control<QPlainTextEdit>(w, "siteBox")->setPlainText(QString::fromUtf8(c.box));
        QTest::mouseClick(control<QPushButton>(w, "saveButton"), Qt::LeftButton);
        EXPECT_EQ(readBytes(m_folder.siteListPath()), std::string(c.file));
        EXPECT_EQ(control<QPlainTextEdit>(w, "siteBox")->toPlainText(), QString::fromUtf8(c.boxAfter));
        EXPECT_FALSE(w.isVisible());
    }
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

TEST_F(RecordsWindows, SiteListWindowCancelKeepsUnsavedText)
{
    writeSites("a.com\r\n");
    SiteListWindow w(m_folder);
    w.show();
    activate(&w);
    control<QPlainTextEdit>(w, "siteBox")->moveCursor(QTextCursor::End);
    QTest::keyClick(control<QPlainTextEdit>(w, "siteBox"), Qt::Key_Return);
    QTest::keyClicks(control<QPlainTextEdit>(w, "siteBox"), "new.com");
    QTest::mouseClick(control<QPushButton>(w, "cancelButton"), Qt::LeftButton);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(readBytes(m_folder.siteListPath()), "a.com\r\n");

    w.show();
    EXPECT_EQ(control<QPlainTextEdit>(w, "siteBox")->toPlainText(), QStringLiteral("a.com\nnew.com"));
    QTest::mouseClick(control<QPushButton>(w, "saveButton"), Qt::LeftButton);
    EXPECT_EQ(readBytes(m_folder.siteListPath()), "a.com\r\nnew.com");
}

TEST_F(RecordsWindows, SiteListWindowFailedSaveShowsTheErrorAndStaysOpen)
{
    writeSites("a.com\r\n");
    SiteListWindow w(m_folder);
    w.show();
    fs::remove_all(m_folder.root());
    control<QPlainTextEdit>(w, "siteBox")->setPlainText("a.com\n\nb.com");
    QTest::mouseClick(control<QPushButton>(w, "saveButton"), Qt::LeftButton);

    ASSERT_EQ(m_errors.size(), 1);
    const std::string expected = "Cannot create file \"" + m_folder.siteListPath().string() + "\". ";
    EXPECT_TRUE(m_errors[0].toStdString().starts_with(expected)) << m_errors[0].toStdString();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(control<QPlainTextEdit>(w, "siteBox")->toPlainText(), QStringLiteral("a.com\nb.com"));
    EXPECT_FALSE(fs::exists(m_folder.root()));
}

TEST_F(RecordsWindows, WindowsAreCentredWhenFirstShownOnly)
{
    auto expectCentredOn = [](const QWidget& w, QPoint centre) {
        const QPoint at = w.pos() + QPoint(w.width() / 2, w.height() / 2);
        EXPECT_LE((at - centre).manhattanLength(), 2) << at.x() << "," << at.y();
    };

    HistoryWindow history(m_folder);
    history.show();
    expectCentredOn(history, history.screen()->availableGeometry().center());

    QWidget mainWindow;
    mainWindow.setGeometry(300, 200, 179, 351);
    mainWindow.show();
    SiteListWindow manager(m_folder, &mainWindow);
    EXPECT_TRUE(manager.isWindow());
    manager.show();
    expectCentredOn(manager, mainWindow.frameGeometry().center());

    manager.close();
    manager.move(10, 10);
    manager.show();
    EXPECT_EQ(manager.pos(), QPoint(10, 10));
}

// A handler that throws, as a window's handler may.
class ThrowingWidget : public QWidget {
protected:
    void mousePressEvent(QMouseEvent*) override { throw 42; }
};

TEST_F(RecordsWindows, ExceptionLeavingAHandlerReachesTheErrorBox)
{
    ASSERT_NE(dynamic_cast<TApplication*>(QCoreApplication::instance()), nullptr);
    QPushButton button("go");
    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, [&clicks] {
        ++clicks;
        throw std::runtime_error("Cannot open file \"x\". No such file or directory");
    });
    button.show();
    QTest::mouseClick(&button, Qt::LeftButton);
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(clicks, 2); // the program went on after the first box
    EXPECT_EQ(m_errors, (QStringList { "Cannot open file \"x\". No such file or directory",
                                       "Cannot open file \"x\". No such file or directory" }));

    ThrowingWidget odd;
    odd.resize(40, 40);
    odd.show();
    QTest::mousePress(&odd, Qt::LeftButton);
    ASSERT_EQ(m_errors.size(), 3);
    EXPECT_FALSE(m_errors[2].isEmpty());
}

TEST_F(RecordsWindows, PicturesOfBothWindows)
{
    std::string sites;
    for (const char* site : { "example.com", "www.example.cn", "网站.cn", "  ", "blog.example.org" })
        sites += std::string(site) + "\r\n";
    writeSites(kaldrani::text::utf8ToGbk(sites));
    std::string history;
    for (int n = 1; n <= 30; ++n)
        history += std::to_string(830 + n) + "/45,880/12,0/0,97/3,156/0,40/0,311/8,4,23,640," +
            (n % 3 ? "0" : "\xb2\xe9\xd1\xaf\xca\xa7\xb0\xdc") + ",2010-1-6 7:36:" + std::to_string(n) + "\r\n";
    writeHistory("example.com", history);

    const auto window = openHistory();
    clickSite(*window, "example.com");
    SiteListWindow manager(m_folder);
    manager.show();
    const QString dir = QStringLiteral(KALDRANI_PICTURE_DIR);
    EXPECT_TRUE(window->grab().save(dir + "/history.png"));
    EXPECT_TRUE(manager.grab().save(dir + "/site-list.png"));
    control<QScrollBar>(window, "gridVerticalBar")->setValue(control<QScrollBar>(window, "gridVerticalBar")->maximum());
    control<QScrollBar>(window, "gridHorizontalBar")->setValue(control<QScrollBar>(window, "gridHorizontalBar")->maximum());
    EXPECT_TRUE(window->grab().save(dir + "/history-scrolled.png"));
}

} // namespace
