#include "ClosedPort.h"
#include "Controls.h"
#include "core/fetch/Endpoints.h"
#include "core/net/ConnectTo.h"
#include "core/net/Tls.h"
#include "core/profiles/ActiveProfile.h"
#include "core/profiles/ProfileLoader.h"
#include "core/records/DataFolder.h"
#include "core/records/History.h"
#include "gui/AboutWindow.h"
#include "gui/AppWindows.h"
#include "gui/BrowserOpener.h"
#include "gui/ErrorBox.h"
#include "gui/FailureMarks.h"
#include "gui/HistoryWindow.h"
#include "gui/SiteListWindow.h"
#include "gui/PageRankPictures.h"
#include "gui/Placement.h"
#include "gui/TLinkLabel.h"
#include "gui/UpdateNotice.h"
#include "gui/MainWindow.h"
#include "FailingServices.h"
#include "CurrentPages.h"
#include "OverviewPages.h"
#include "StandinServer.h"
#include "StandinTls.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace kaldrani::gui;

using namespace kaldrani;

void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

const QString kHome = QStringLiteral("http://www.kaldrani.com");

class RecordingBrowser : public gui::BrowserOpener {
public:
    void open(const QString& url) override { opened.append(url); }
    QStringList opened;
};

// Logs, in order, which parts of the main window were painted and what the grid held then.
class PaintLog : public QObject {
public:
    explicit PaintLog(gui::MainWindow& w)
        : m_grid(control<QTableWidget>(w, "countGrid")), m_pageRank(control<QLabel>(w, "pageRankPicture")),
          m_gauge(control<TGauge>(w, "sogouRatingGauge")), m_alexa(control<QLabel>(w, "alexaRankLabel")),
          m_chinaRank(control<QLabel>(w, "chinaRankLabel")), m_query(control<QPushButton>(w, "queryButton")),
          m_domain(control<QComboBox>(w, "domainBox"))
    {
        for (QWidget* watched : {m_grid->viewport(), static_cast<QWidget*>(m_pageRank), static_cast<QWidget*>(m_gauge),
                                 static_cast<QWidget*>(m_alexa), static_cast<QWidget*>(m_chinaRank)})
            watched->installEventFilter(this);
    }

    // One entry per change seen at paint time: "cells=N" (the first N result cells, in run
    // order, filled and no other), or the name of a panel painted with its new content.
    QStringList entries;
    bool disabledWhileCellsPainted = true;

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Paint)
            return false;
        QString entry;
        if (watched == m_grid->viewport()) {
            int filled = 0;
            bool prefix = true;
            bool sawEmpty = false;
            for (int row = 1; row <= 7; ++row) {
                for (int col = 1; col <= 2; ++col) {
                    const bool has = !m_grid->item(row, col)->text().isEmpty();
                    prefix = prefix && !(has && sawEmpty);
                    sawEmpty = sawEmpty || !has;
                    filled += has ? 1 : 0;
                }
            }
            entry = prefix ? QStringLiteral("cells=%1").arg(filled) : QStringLiteral("cells out of order");
            if (filled > 0 && filled < 14)
                disabledWhileCellsPainted = disabledWhileCellsPainted && !m_query->isEnabled() && !m_domain->isEnabled();
        } else if (watched == m_pageRank && m_pageRank->isVisible()) {
            entry = QStringLiteral("pagerank");
        } else if (watched == m_gauge && m_gauge->isVisible()) {
            entry = QStringLiteral("gauge");
        } else if (watched == m_alexa && !m_alexa->text().isEmpty()) {
            entry = QStringLiteral("alexa");
        } else if (watched == m_chinaRank && !m_chinaRank->text().isEmpty()) {
            entry = QStringLiteral("chinarank");
        }
        if (!entry.isEmpty() && !entries.contains(entry))
            entries.append(entry);
        return false;
    }

private:
    QTableWidget* m_grid;
    QLabel* m_pageRank;
    TGauge* m_gauge;
    QLabel* m_alexa;
    QLabel* m_chinaRank;
    QPushButton* m_query;
    QComboBox* m_domain;
};

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        records::EnsureDataFolder(m_folder);
        records::saveSiteList(m_folder, "example.com\r\nlisted-twice.com\r\nlisted-twice.com\r\n");

        net::clearConnectToRules();
        net::addConnectToRules({{"", "", "127.0.0.1", std::to_string(m_server.port())}});
        gui::setBrowserOpener(&m_browser);
        setApplicationErrorSink([this](const QString& message) { m_errors.append(message); });
        setSystemTrayAvailableOverride(true);

        m_windows = std::make_unique<AppWindows>(m_folder);
        // The IP window asks for the own address as it is made; the tests count their own requests.
        QSignalSpy ownAddress(m_windows->ipWindow.get(), &IpWindow::ownAddressSettled);
        mainWindow = m_windows->mainWindow.get();
        siteListWindow = m_windows->siteListWindow.get();
        historyWindow = m_windows->historyWindow.get();
        aboutWindow = m_windows->aboutWindow.get();
        updateNotice = m_windows->updateNotice.get();
        mainWindow->setVersionCheckTimeout(2000);
        w = mainWindow;
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
        ASSERT_TRUE(!ownAddress.isEmpty() || ownAddress.wait(5000));
        m_server.clearRequests();
    }

    void TearDown() override
    {
        m_windows.reset();
        setSystemTrayAvailableOverride(std::nullopt);
        setApplicationErrorSink({});
        gui::setBrowserOpener(nullptr);
        net::clearConnectToRules();
        QLocale::setDefault(QLocale::c());
    }

    void runFor(const QString& domain)
    {
        control<QComboBox>(w, "domainBox")->setEditText(domain);
        QTest::mouseClick(control<QPushButton>(w, "queryButton"), Qt::LeftButton);
    }

    QString cell(int col, int row) const { return control<QTableWidget>(w, "countGrid")->item(row, col)->text(); }

    // Closes the main window and waits for the new-version check the close starts.
    bool closeAndAwaitCheck(int timeoutMs = 5000)
    {
        QSignalSpy checked(w, &gui::MainWindow::versionChecked);
        w->close();
        return checked.wait(timeoutMs);
    }

    int historyRecords(const std::string& site) const
    {
        try {
            return static_cast<int>(records::ReadHistory(m_folder, site).size());
        } catch (const records::FileError&) {
            return 0;
        }
    }

    int requestsFor(std::string_view path) const
    {
        int n = 0;
        for (const auto& r : m_server.requests())
            n += r.path == path ? 1 : 0;
        return n;
    }

    void savePicture(QWidget* window, const char* name) const
    {
        window->grab().save(QStringLiteral(KALDRANI_PICTURE_DIR "/") + QString::fromUtf8(name) + ".png");
    }

    QTemporaryDir m_dir;
    records::DataFolder m_folder{m_dir.path().toStdString()};
    standin::StandinServer m_server;
    RecordingBrowser m_browser;
    QStringList m_errors;
    std::unique_ptr<AppWindows> m_windows;
    gui::MainWindow* mainWindow = nullptr;
    SiteListWindow* siteListWindow = nullptr;
    HistoryWindow* historyWindow = nullptr;
    AboutWindow* aboutWindow = nullptr;
    UpdateNotice* updateNotice = nullptr;
    gui::MainWindow* w = nullptr;
};

TEST_F(MainWindowTest, HasTheLayoutCaptionsAndGridHeadings)
{
    EXPECT_EQ(w->windowTitle(), "Kaldrani");
    EXPECT_EQ(w->size(), QSize(gui::MainWindow::kClientWidth, gui::MainWindow::kClientHeight));
    EXPECT_EQ(control<QPushButton>(w, "queryButton")->text(), "查   询");
    EXPECT_EQ(control<QPushButton>(w, "queryButton")->geometry(), QRect(136, 22, 50, 25));
    EXPECT_EQ(control<QComboBox>(w, "domainBox")->geometry(), QRect(6, 22, 125, 20));
    EXPECT_EQ(control<QTableWidget>(w, "countGrid")->geometry(), QRect(6, 49, 181, 168));
    // Nothing reaches past the client area.
    for (QWidget* child : w->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        EXPECT_TRUE(w->rect().contains(child->geometry())) << child->metaObject()->className();

    struct Tool {
        const char* name;
        const char* tip;
        int left;
        bool enabled;
    };
    const Tool tools[] = {
        {"siteListButton", "管理站点", 0, true},    {"historyButton", "查询记录", 18, true},
        {"whoisButton", "域名查询", 38, true},      {"ipButton", "IP地址查询", 58, true},
        {"keywordButton", "关键词排名", 78, true},  {"mailButton", "邮件群发", 96, true},
        {"visitSiteButton", "访问官网", 114, true}, {"aboutButton", "关于软件", 131, true},
    };
    for (const Tool& t : tools) {
        SCOPED_TRACE(t.tip);
        const QToolButton* button = control<QToolButton>(w, t.name);
        EXPECT_EQ(button->toolTip(), QString::fromUtf8(t.tip));
        EXPECT_EQ(button->geometry(), QRect(t.left, 0, 18, 18));
        EXPECT_EQ(button->isEnabled(), t.enabled);
        EXPECT_FALSE(button->icon().isNull());
    }

    EXPECT_EQ(control<QTableWidget>(w, "countGrid")->columnWidth(0), 40);
    EXPECT_EQ(control<QTableWidget>(w, "countGrid")->columnWidth(1), 69);
    EXPECT_EQ(control<QTableWidget>(w, "countGrid")->rowHeight(3), 20);
    const QStringList column0 = {"", "百度", "谷歌", "雅虎", "搜狗", "搜搜", "有道", "必应"};
    for (int row = 0; row < 8; ++row)
        EXPECT_EQ(cell(0, row), column0[row]);
    EXPECT_EQ(cell(1, 0), "收录情况");
    EXPECT_EQ(cell(2, 0), "反向链接");
    EXPECT_FALSE(control<TGauge>(w, "sogouRatingGauge")->isVisible());
    EXPECT_EQ(control<QComboBox>(w, "domainBox")->count(), 3);
    EXPECT_EQ(control<QComboBox>(w, "domainBox")->currentText(), "");
}

TEST_F(MainWindowTest, RunFillsEachCellAsItsQueryEndsThenThePanelsAndWritesTheHistory)
{
    PaintLog log(*w);
    runFor("example.com");

    QStringList expected;
    for (int n = 1; n <= 14; ++n)
        expected << QStringLiteral("cells=%1").arg(n);
    expected << "pagerank" << "gauge" << "alexa" << "chinarank";
    QStringList seen = log.entries;
    seen.removeAll("cells=0");
    EXPECT_EQ(seen, expected);
    EXPECT_TRUE(log.disabledWhileCellsPainted);

    const standin::OverviewFigures f = standin::overviewFigures("example.com");
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(cell(1, i + 1), QString::number(f.indexed[i]));
        EXPECT_EQ(cell(2, i + 1), QString::number(f.backlinks[i]));
    }
    EXPECT_TRUE(control<QLabel>(w, "pageRankPicture")->isVisible());
    EXPECT_EQ(control<QLabel>(w, "pageRankPicture")->pixmap().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied),
              gui::drawPageRankPicture(f.pageRank));
    EXPECT_TRUE(control<TGauge>(w, "sogouRatingGauge")->isVisible());
    EXPECT_EQ(control<TGauge>(w, "sogouRatingGauge")->progress(), f.sogouRating);
    EXPECT_EQ(control<QLabel>(w, "alexaRankLabel")->text(), QString::number(f.alexaRank));
    EXPECT_EQ(control<QLabel>(w, "chinaRankLabel")->text(), QString::number(f.chinaRank));
    EXPECT_TRUE(control<QPushButton>(w, "queryButton")->isEnabled());
    EXPECT_TRUE(control<QComboBox>(w, "domainBox")->isEnabled());
    EXPECT_EQ(control<QComboBox>(w, "domainBox")->currentText(), "example.com");

    const auto history = records::ReadHistory(m_folder, "example.com");
    ASSERT_EQ(history.size(), 1u);
    ASSERT_EQ(history[0].size(), 12u);
    EXPECT_EQ(history[0][0], std::to_string(f.indexed[0]) + "/" + std::to_string(f.backlinks[0]));
    EXPECT_EQ(history[0][7], std::to_string(f.pageRank));
    EXPECT_EQ(history[0][8], std::to_string(f.sogouRating));
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join("; ").toStdString();

    control<QTableWidget>(w, "countGrid")->resize(control<QTableWidget>(w, "countGrid")->size());
    savePicture(w, "main-window");
}

TEST_F(MainWindowTest, HistoryIsWrittenOncePerExactlyEqualListEntry)
{
    struct Case {
        const char* name;
        const char* typed;
        const char* site;
        int records;
    };
    const Case cases[] = {
        {"listed once", "example.com", "example.com", 1},
        {"listed twice", "listed-twice.com", "listed-twice.com", 2},
        {"differs in case", "Example.com", "Example.com", 0},
        {"not listed", "unlisted.com", "unlisted.com", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        runFor(QString::fromUtf8(c.typed));
        EXPECT_FALSE(cell(1, 1).isEmpty());
        EXPECT_EQ(historyRecords(c.site), c.records);
    }
    EXPECT_EQ(historyRecords("example.com"), 1) << "the differing case must not reach the listed site";
}

TEST_F(MainWindowTest, EmptyOrMalformedDomainPutsTheMakersHostInTheBoxAndQueriesNothing)
{
    struct Case {
        const char* name;
        const char* typed;
    };
    const Case cases[] = {
        {"empty", ""},
        {"scheme", "http://example.com"},
        {"single-letter label", "a.com"},
        {"trailing slash", "example.com/"},
        {"port", "example.com:80"},
        {"leading blank", " example.com"},
        {"chinese", "例子.com"},
        {"ipv4", "192.168.1.1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        runFor(QString::fromUtf8(c.typed));
        EXPECT_EQ(control<QComboBox>(w, "domainBox")->currentText(), "www.kaldrani.com");
        EXPECT_TRUE(cell(1, 1).isEmpty());
        EXPECT_TRUE(control<QPushButton>(w, "queryButton")->isEnabled());
    }
    EXPECT_TRUE(m_server.requests().empty());
    EXPECT_TRUE(m_errors.isEmpty());
}

TEST_F(MainWindowTest, AnEmptyBoxAfterARunClearsTheResults)
{
    runFor("example.com");
    ASSERT_FALSE(cell(2, 7).isEmpty());
    m_server.clearRequests();

    runFor("");
    for (int row = 1; row <= 7; ++row)
        for (int col = 1; col <= 2; ++col)
            EXPECT_TRUE(cell(col, row).isEmpty()) << col << "," << row;
    EXPECT_FALSE(control<QLabel>(w, "pageRankPicture")->isVisible());
    EXPECT_FALSE(control<TGauge>(w, "sogouRatingGauge")->isVisible());
    EXPECT_EQ(control<QLabel>(w, "alexaRankLabel")->text(), "");
    EXPECT_EQ(control<QLabel>(w, "chinaRankLabel")->text(), "");
    EXPECT_EQ(control<QComboBox>(w, "domainBox")->currentText(), "www.kaldrani.com");
    EXPECT_TRUE(m_server.requests().empty());
    EXPECT_EQ(cell(1, 0), "收录情况") << "headings stay";
}

TEST_F(MainWindowTest, EnterInTheUrlBoxStartsTheRun)
{
    control<QComboBox>(w, "domainBox")->setEditText("example.com");
    control<QComboBox>(w, "domainBox")->setFocus();
    QTest::keyClick(control<QComboBox>(w, "domainBox")->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(cell(1, 1), QString::number(standin::overviewFigures("example.com").indexed[0]));
    EXPECT_EQ(historyRecords("example.com"), 1) << "one run, not two";
}

TEST_F(MainWindowTest, PageRankPictureFollowsTheAnswer)
{
    struct Case {
        const char* name;
        const char* answer;
        int picture; // -1: visible but empty
    };
    const Case cases[] = {
        {"zero", "0", 0}, {"four", "4", 4}, {"ten", "10", 10}, {"twelve", "12", -1}, {"failed", "none", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_server.setAnswer(endpoints::kMaker, "/pr/",
                           standin::utf8Page(std::string("<p><strong>") + c.answer + "</strong></p>"));
        runFor("example.com");
        ASSERT_TRUE(control<QLabel>(w, "pageRankPicture")->isVisible());
        const QImage shown = control<QLabel>(w, "pageRankPicture")->pixmap().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
        EXPECT_EQ(shown, gui::drawPageRankPicture(c.picture));
        if (c.picture == -1) {
            // The label paints nothing of its own: the panel shows through.
            const QImage onScreen = control<QLabel>(w, "pageRankPicture")->grab().toImage();
            const QRgb first = onScreen.pixel(0, 0);
            for (int x = 0; x < onScreen.width(); x += 5)
                EXPECT_EQ(onScreen.pixel(x, 8), first) << "x=" << x;
        }
    }
}

TEST_F(MainWindowTest, SogouRatingAboveTheRangeShowsAFullGaugeAndIsRecordedAs100)
{
    m_server.setAnswer(endpoints::kSogou, "/web",
                       standin::gbkPage("<div class=\"num\">找到 5 条结果</div><div>搜狗评级:150/100</div>"));
    runFor("example.com");
    EXPECT_TRUE(control<TGauge>(w, "sogouRatingGauge")->isVisible());
    EXPECT_EQ(control<TGauge>(w, "sogouRatingGauge")->progress(), 100);
    const auto history = records::ReadHistory(m_folder, "example.com");
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0][8], "100");
}

TEST_F(MainWindowTest, RankTextsFromTheRepliesAreShownAsPlainText)
{
    const std::string markup = "<img src=\"x.png\"><b>12</b>";
    m_server.setAnswer(endpoints::kMaker, "/api/alexa.asp", standin::utf8Page(markup, "text/plain"));
    runFor("example.com");
    EXPECT_EQ(control<QLabel>(w, "alexaRankLabel")->text(), QString::fromStdString(markup));
    EXPECT_EQ(control<QLabel>(w, "alexaRankLabel")->textFormat(), Qt::PlainText);
    EXPECT_EQ(control<QLabel>(w, "chinaRankLabel")->textFormat(), Qt::PlainText);
}

TEST_F(MainWindowTest, UrlBoxCompletesFromTheSiteListKeepingTheTypedCase)
{
    QTest::keyClicks(control<QComboBox>(w, "domainBox")->lineEdit(), "exa");
    EXPECT_EQ(control<QComboBox>(w, "domainBox")->currentText(), "example.com");
    control<QComboBox>(w, "domainBox")->setEditText(QString());
    QTest::keyClicks(control<QComboBox>(w, "domainBox")->lineEdit(), "EXA");
    EXPECT_EQ(control<QComboBox>(w, "domainBox")->currentText(), "EXA");
}

TEST_F(MainWindowTest, CloseHidesTheWindowAndShowsTheNoticeOnlyForAHigherPlainNumber)
{
    struct Case {
        const char* name;
        const char* body;
        bool notice;
    };
    const Case cases[] = {
        {"higher", "1.7", true},
        {"higher with blanks", " 1.7 ", true},
        {"equal", "1.6", false},
        {"lower", "1.5", false},
        {"line break after", "1.7\n", false},
        {"empty", "", false},
        {"html page", "<html><body><p>1.7</p></body></html>", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_server.setVersionBody(c.body);
        m_server.clearRequests();
        updateNotice->hide();
        w->show();
        ASSERT_TRUE(closeAndAwaitCheck());
        EXPECT_FALSE(w->isVisible());
        EXPECT_EQ(updateNotice->isVisible(), c.notice);
        // The fetch and the hidden browser's navigation: two requests of the page.
        QTRY_COMPARE_WITH_TIMEOUT(requestsFor("/version.html"), 2, 3000);
    }
    EXPECT_TRUE(m_errors.isEmpty());
    EXPECT_EQ(mainWindow, w) << "the window lives on";
}

TEST_F(MainWindowTest, VersionIsReadWithTheLocalesDecimalSeparator)
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    m_server.setVersionBody("1.7");
    ASSERT_TRUE(closeAndAwaitCheck());
    EXPECT_FALSE(updateNotice->isVisible());

    m_server.setVersionBody("1,7");
    ASSERT_TRUE(closeAndAwaitCheck());
    EXPECT_TRUE(updateNotice->isVisible());
}

TEST_F(MainWindowTest, ClosingTwiceShowsTheNoticeAgain)
{
    m_server.setVersionBody("2.0");
    ASSERT_TRUE(closeAndAwaitCheck());
    ASSERT_TRUE(updateNotice->isVisible());
    updateNotice->close();
    EXPECT_FALSE(updateNotice->isVisible());
    w->show();
    ASSERT_TRUE(closeAndAwaitCheck());
    EXPECT_TRUE(updateNotice->isVisible());
}

TEST_F(MainWindowTest, AnUnreachableOrSilentVersionServerEndsTheCheckQuietly)
{
    struct Case {
        const char* name;
        bool silent; // accepts but does not answer in time
    };
    const Case cases[] = {{"nothing listening", false}, {"no answer", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        net::clearConnectToRules();
        if (c.silent) {
            standin::Response late = standin::utf8Page("9.9", "text/plain");
            late.delayMs = 5000;
            m_server.setAnswer(endpoints::kMaker, "/version.html", late);
            net::addConnectToRules({{"", "", "127.0.0.1", std::to_string(m_server.port())}});
        } else {
            const int nobody = kaldrani::testing::closedLoopbackPort();
            net::addConnectToRules({{std::string(endpoints::kMaker), "", "127.0.0.1", std::to_string(nobody)}});
        }
        w->setVersionCheckTimeout(300);
        w->show();
        QElapsedTimer clock;
        clock.start();
        ASSERT_TRUE(closeAndAwaitCheck());
        EXPECT_LT(clock.elapsed(), 3000);
        EXPECT_FALSE(w->isVisible());
        EXPECT_FALSE(updateNotice->isVisible());
    }
    EXPECT_TRUE(m_errors.isEmpty());
}

TEST_F(MainWindowTest, TrayAndWindowsAnswerWhileTheVersionServerIsSilent)
{
    standin::Response late = standin::utf8Page("9.9", "text/plain");
    late.delayMs = 4000;
    m_server.setAnswer(endpoints::kMaker, "/version.html", late);
    w->setVersionCheckTimeout(10000);
    QSignalSpy checked(w, &gui::MainWindow::versionChecked);

    QElapsedTimer clock;
    clock.start();
    w->close();
    EXPECT_LT(clock.elapsed(), 1000) << "the close waits for nothing";
    EXPECT_FALSE(w->isVisible());

    emit control<QSystemTrayIcon>(w, "trayIcon")->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(w->isVisible());
    control<QAction>(w, "aboutAction")->trigger();
    EXPECT_TRUE(aboutWindow->isVisible());
    QTest::mouseClick(control<QToolButton>(w, "historyButton"), Qt::LeftButton);
    EXPECT_TRUE(historyWindow->isVisible());
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_EQ(checked.count(), 0) << "the check was still waiting meanwhile";

    ASSERT_TRUE(checked.wait(8000));
    EXPECT_EQ(checked.takeFirst().at(0).toBool(), true);
    EXPECT_TRUE(updateNotice->isVisible());
}

TEST_F(MainWindowTest, ACheckThatEndsAfterTheWindowsAreGoneCallsNothing)
{
    standin::Response late = standin::utf8Page("9.9", "text/plain");
    late.delayMs = 300;
    m_server.setAnswer(endpoints::kMaker, "/version.html", late);
    w->close();
    m_windows.reset();
    // The answer arrives with no window to take it; processing the queue must not touch one.
    QTest::qWait(800);
    SUCCEED();
}

TEST_F(MainWindowTest, TrayDoubleClickAndOpenShowTheWindowAgain)
{
    const QSystemTrayIcon* tray = control<QSystemTrayIcon>(w, "trayIcon");
    const QMenu* menu = control<QMenu>(w, "trayMenu");
    EXPECT_EQ(tray->toolTip(), "Kaldrani");
    EXPECT_EQ(tray->contextMenu(), menu);
    const QStringList captions = {"打开工具", "访问官网", "关于软件", "在线升级", "同时查询", "每日跟踪", "退出程序"};
    ASSERT_EQ(menu->actions().size(), captions.size());
    for (int i = 0; i < captions.size(); ++i) {
        EXPECT_EQ(menu->actions()[i]->text(), captions[i]);
        EXPECT_FALSE(menu->actions()[i]->icon().isNull());
    }

    control<QComboBox>(w, "domainBox")->setEditText("example.com");
    runFor("example.com");
    const QString kept = cell(2, 7);
    w->hide();
    emit control<QSystemTrayIcon>(w, "trayIcon")->activated(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(w->isVisible()) << "a single click does nothing";
    emit control<QSystemTrayIcon>(w, "trayIcon")->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(cell(2, 7), kept);

    w->showMinimized();
    QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), 2000);
    control<QAction>(w, "openAction")->trigger();
    EXPECT_TRUE(w->isVisible());
    EXPECT_FALSE(w->isMinimized());
}

TEST_F(MainWindowTest, TrayMenuOpensTheHomePageAndShowsTheOneAboutWindow)
{
    control<QComboBox>(w, "domainBox")->setEditText("abc");
    control<QAction>(w, "visitSiteAction")->trigger();
    control<QAction>(w, "upgradeAction")->trigger();
    EXPECT_EQ(m_browser.opened, QStringList({kHome, kHome}));

    const auto aboutWindows = [] {
        int n = 0;
        for (QWidget* top : QApplication::topLevelWidgets())
            n += qobject_cast<AboutWindow*>(top) ? 1 : 0;
        return n;
    };
    control<QAction>(w, "aboutAction")->trigger();
    EXPECT_TRUE(aboutWindow->isVisible());
    aboutWindow->hide();
    control<QAction>(w, "aboutAction")->trigger();
    EXPECT_TRUE(aboutWindow->isVisible());
    aboutWindow->hide();
    QTest::mouseClick(control<QToolButton>(w, "aboutButton"), Qt::LeftButton);
    EXPECT_TRUE(aboutWindow->isVisible());
    QTest::mouseClick(control<QToolButton>(w, "whoisButton"), Qt::LeftButton);
    EXPECT_TRUE(m_windows->whoisWindow->isVisible());
    QTest::mouseClick(control<QToolButton>(w, "ipButton"), Qt::LeftButton);
    EXPECT_TRUE(m_windows->ipWindow->isVisible());
    EXPECT_EQ(aboutWindows(), 1) << "every click reuses the same window";
}

TEST_F(MainWindowTest, OnlyTheQuitItemEndsTheProgramAndItRunsNoCheck)
{
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    guard.start(3000);
    QTimer::singleShot(0, control<QAction>(w, "quitAction"), &QAction::trigger);
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_EQ(requestsFor("/version.html"), 0);
}

TEST_F(MainWindowTest, WithoutATrayClosingEndsTheProgram)
{
    setSystemTrayAvailableOverride(false);
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    guard.start(3000);
    QTimer::singleShot(0, w, &QWidget::close);
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_EQ(requestsFor("/version.html"), 0);
}

TEST_F(MainWindowTest, VisitButtonAndGridDoubleClickOpenTheMakersPages)
{
    struct Case {
        const char* name;
        const char* typed;
        QStringList visit;
        QStringList grid;
    };
    const Case cases[] = {
        {"empty box", "", {kHome}, {}},
        {"a domain", "abc", {kHome + "/?domain=abc"}, {kHome + "/?domain=abc"}},
        {"taken as typed", " a&b c", {kHome + "/?domain= a&b c"}, {kHome + "/?domain= a&b c"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        control<QComboBox>(w, "domainBox")->setEditText(QString::fromUtf8(c.typed));
        m_browser.opened.clear();
        QTest::mouseClick(control<QToolButton>(w, "visitSiteButton"), Qt::LeftButton);
        EXPECT_EQ(m_browser.opened, c.visit);

        m_browser.opened.clear();
        QTest::mouseDClick(control<QTableWidget>(w, "countGrid")->viewport(), Qt::LeftButton, {}, QPoint(100, 150));
        EXPECT_EQ(m_browser.opened, c.grid);
    }
}

// Tests and tools find a control by its name; a name used twice in one window would let
// them find the wrong one.
TEST_F(MainWindowTest, EveryWindowNamesItsControlsOnce)
{
    struct Case {
        const char* name;
        WindowId id;
        const char* someControl;
    };
    const Case cases[] = {
        {"main", WindowId::Main, "queryButton"},       {"mail", WindowId::Mail, "sendButton"},
        {"keyword", WindowId::Keyword, "bingCheck"},   {"site list", WindowId::SiteList, "saveButton"},
        {"history", WindowId::History, "historyGrid"}, {"whois", WindowId::Whois, "recordBox"},
        {"IP", WindowId::Ip, "addressEdit"},           {"about", WindowId::About, "siteLink"},
        {"update", WindowId::Update, "siteLink"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QWidget* window = m_windows->window(c.id);
        ASSERT_NE(window, nullptr);
        EXPECT_NE(window->findChild<QObject*>(QString::fromUtf8(c.someControl)), nullptr);
        QStringList seen;
        for (const QObject* child : window->findChildren<QObject*>()) {
            const QString name = child->objectName();
            // The toolkit names its own inner parts.
            if (name.isEmpty() || name.startsWith(QStringLiteral("qt_")))
                continue;
            EXPECT_FALSE(seen.contains(name)) << name.toStdString();
            seen << name;
        }
    }
}

TEST_F(MainWindowTest, LinksOfTheNoticeAndAboutWindowsOpenTheHomePage)
{
    control<QComboBox>(w, "domainBox")->setEditText("abc");
    updateNotice->show();
    aboutWindow->show();
    QTest::mouseClick(control<TLinkLabel>(updateNotice, "siteLink"), Qt::LeftButton);
    QTest::mouseClick(control<TLinkLabel>(aboutWindow, "siteLink"), Qt::LeftButton);
    EXPECT_EQ(m_browser.opened, QStringList({kHome, kHome}));

    EXPECT_EQ(updateNotice->windowTitle(), " Kaldrani");
    EXPECT_EQ(updateNotice->size(), QSize(195, 127));
    EXPECT_EQ(control<QLabel>(updateNotice, "noticeLabel")->text(), "软件有更新请下载最新版");
    EXPECT_EQ(control<TLinkLabel>(updateNotice, "siteLink")->text(), "www.kaldrani.com");
    EXPECT_EQ(aboutWindow->windowTitle(), " 关于软件");
    EXPECT_EQ(aboutWindow->size(), QSize(238, 150));
    EXPECT_EQ(control<QLabel>(aboutWindow, "titleLabel")->text(), "Kaldrani V 1.65  迷你版");
    EXPECT_EQ(control<TLinkLabel>(aboutWindow, "siteLink")->text(), "WWW.KALDRANI.COM");
    EXPECT_TRUE(control<TLinkLabel>(aboutWindow, "siteLink")->font().underline());
    EXPECT_EQ(control<TLinkLabel>(aboutWindow, "siteLink")->cursor().shape(), Qt::PointingHandCursor);
    savePicture(updateNotice, "update-notice");
    savePicture(aboutWindow, "about");
}

TEST_F(MainWindowTest, WindowsArePlacedNearTheScreensBottomRightCorner)
{
    const QSize screen = gui::fullScreenSize();
    EXPECT_EQ(w->pos(), gui::placeNearCorner(screen, w->frameGeometry().size(), 50, 50));
    EXPECT_EQ(updateNotice->pos(), gui::placeNearCorner(screen, updateNotice->frameGeometry().size(), 30, 40));
}

TEST_F(MainWindowTest, ToolButtonsShowTheirWindows)
{
    QTest::mouseClick(control<QToolButton>(w, "siteListButton"), Qt::LeftButton);
    EXPECT_TRUE(siteListWindow->isVisible());
    QTest::mouseClick(control<QToolButton>(w, "historyButton"), Qt::LeftButton);
    EXPECT_TRUE(historyWindow->isVisible());
    QTest::mouseClick(control<QToolButton>(w, "aboutButton"), Qt::LeftButton);
    EXPECT_TRUE(aboutWindow->isVisible());
    QTest::mouseClick(control<QToolButton>(w, "whoisButton"), Qt::LeftButton);
    EXPECT_TRUE(m_windows->whoisWindow->isVisible());
    QTest::mouseClick(control<QToolButton>(w, "ipButton"), Qt::LeftButton);
    EXPECT_TRUE(m_windows->ipWindow->isVisible());
    QTest::mouseClick(control<QToolButton>(w, "keywordButton"), Qt::LeftButton);
    EXPECT_TRUE(m_windows->keywordWindow->isVisible());
    QTest::mouseClick(control<QToolButton>(w, "mailButton"), Qt::LeftButton);
    EXPECT_TRUE(m_windows->mailWindow->isVisible());
}

TEST_F(MainWindowTest, ActivationReloadsTheSiteListAndKeepsTheTypedText)
{
    control<QComboBox>(w, "domainBox")->setEditText("typed.com");
    records::saveSiteList(m_folder, "one.com\r\ntwo.com\r\n");
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(w, &activate);
    ASSERT_EQ(control<QComboBox>(w, "domainBox")->count(), 2);
    EXPECT_EQ(control<QComboBox>(w, "domainBox")->itemText(1), "two.com");
    EXPECT_EQ(control<QComboBox>(w, "domainBox")->currentText(), "typed.com");

    // A missing list is reported, but not again on the activation the closed box gives back.
    std::filesystem::remove(m_folder.siteListPath());
    QApplication::sendEvent(w, &activate);
    QApplication::sendEvent(w, &activate);
    EXPECT_EQ(control<QComboBox>(w, "domainBox")->count(), 0);
    EXPECT_EQ(control<QComboBox>(w, "domainBox")->currentText(), "typed.com");
    ASSERT_EQ(m_errors.size(), 1);
    EXPECT_TRUE(m_errors[0].startsWith("Cannot open file")) << m_errors[0].toStdString();
}

TEST_F(MainWindowTest, FailedFiguresAreMarkedWithTheirReasonUntilTheNextRun)
{
    standin::failServices(m_server, "baidu,pagerank:empty,sogou:empty,alexa:empty,chinarank");
    runFor(QStringLiteral("example.com"));

    QTableWidgetItem* baidu = control<QTableWidget>(w, "countGrid")->item(1, 1);
    EXPECT_EQ(baidu->text(), QStringLiteral("0"));
    EXPECT_EQ(baidu->foreground().color(), gui::kFailureText);
    EXPECT_EQ(baidu->background().color(), gui::kFailureBackground);
    EXPECT_TRUE(baidu->toolTip().contains(QStringLiteral("HTTP/1.1 503 Service Unavailable"))) << baidu->toolTip().toStdString();
    EXPECT_TRUE(control<QTableWidget>(w, "countGrid")->item(4, 1)->toolTip().contains(QStringLiteral("no count on the page")));
    QTableWidgetItem* google = control<QTableWidget>(w, "countGrid")->item(2, 1);
    EXPECT_NE(google->text(), QStringLiteral("0"));
    EXPECT_FALSE(google->data(Qt::ForegroundRole).isValid());
    EXPECT_TRUE(google->toolTip().isEmpty()) << google->toolTip().toStdString();

    EXPECT_TRUE(control<QLabel>(w, "pageRankPicture")->toolTip().contains(QStringLiteral("no PageRank on the page")));
    EXPECT_TRUE(control<QLabel>(w, "pageRankPicture")->autoFillBackground());
    EXPECT_EQ(control<TGauge>(w, "sogouRatingGauge")->backgroundColor(), gui::kFailureBackground);
    EXPECT_TRUE(control<TGauge>(w, "sogouRatingGauge")->toolTip().contains(QStringLiteral("no rating on the page")));
    EXPECT_EQ(control<QLabel>(w, "alexaRankLabel")->text(), QStringLiteral("查询失败"));
    EXPECT_EQ(control<QLabel>(w, "alexaRankLabel")->palette().color(QPalette::WindowText), gui::kFailureText);
    EXPECT_TRUE(control<QLabel>(w, "alexaRankLabel")->toolTip().contains(QStringLiteral("empty reply")));
    EXPECT_TRUE(control<QLabel>(w, "chinaRankLabel")->toolTip().contains(QStringLiteral("HTTP/1.1 503 Service Unavailable")));
    savePicture(w, "main-window-failures");

    m_server.clearAnswers();
    runFor(QStringLiteral("example.com"));
    for (int row = 1; row <= 7; ++row)
        for (int col = 1; col <= 2; ++col) {
            SCOPED_TRACE(row * 10 + col);
            EXPECT_FALSE(control<QTableWidget>(w, "countGrid")->item(row, col)->data(Qt::ForegroundRole).isValid());
            EXPECT_TRUE(control<QTableWidget>(w, "countGrid")->item(row, col)->toolTip().isEmpty());
        }
    EXPECT_TRUE(control<QLabel>(w, "pageRankPicture")->toolTip().isEmpty());
    EXPECT_FALSE(control<QLabel>(w, "pageRankPicture")->autoFillBackground());
    EXPECT_EQ(control<TGauge>(w, "sogouRatingGauge")->backgroundColor(), QColor(Qt::white));
    EXPECT_TRUE(control<TGauge>(w, "sogouRatingGauge")->toolTip().isEmpty());
    EXPECT_NE(control<QLabel>(w, "alexaRankLabel")->palette().color(QPalette::WindowText), gui::kFailureText);
    EXPECT_TRUE(control<QLabel>(w, "alexaRankLabel")->toolTip().isEmpty());
    EXPECT_TRUE(control<QLabel>(w, "chinaRankLabel")->toolTip().isEmpty());
}

TEST_F(MainWindowTest, BlockedAndSwitchedOffFiguresHaveMarksOfTheirOwn)
{
    struct DefaultAgain {
        ~DefaultAgain() { profiles::setActiveProfile(profiles::defaultProfile()); }
    } defaultAgain;
    profiles::setActiveProfile(profiles::loadProfile(profiles::defaultProfileText(),
                                                     "[count.baidu.indexed]\nblocked = ['请输入验证码']\n"
                                                     "[count.sogou.backlinks]\nenabled = false\n"
                                                     "[rank.alexa]\nenabled = false\n",
                                                     "engines.toml"));
    standin::failServices(m_server, "baidu:verify,google:429");
    runFor(QStringLiteral("example.com"));

    QTableWidgetItem* baidu = control<QTableWidget>(w, "countGrid")->item(1, 1);
    EXPECT_EQ(baidu->text(), QStringLiteral("0"));
    EXPECT_EQ(baidu->foreground().color(), gui::kBlockedText);
    EXPECT_EQ(baidu->background().color(), gui::kBlockedBackground);
    EXPECT_EQ(baidu->toolTip(), QStringLiteral("被拦截：verification page"));
    // Without a marker the same page is only a page without a count.
    EXPECT_EQ(control<QTableWidget>(w, "countGrid")->item(1, 2)->foreground().color(), gui::kFailureText);
    QTableWidgetItem* google = control<QTableWidget>(w, "countGrid")->item(2, 1);
    EXPECT_EQ(google->foreground().color(), gui::kBlockedText);
    EXPECT_EQ(google->toolTip(), QStringLiteral("被拦截：429 Too Many Requests (Retry-After: 120)"));

    QTableWidgetItem* sogou = control<QTableWidget>(w, "countGrid")->item(4, 2);
    EXPECT_EQ(sogou->text(), QStringLiteral("已关闭"));
    EXPECT_EQ(sogou->foreground().color(), gui::kSwitchedOffText);
    EXPECT_EQ(control<QLabel>(w, "alexaRankLabel")->text(), QStringLiteral("已关闭"));
    EXPECT_EQ(control<QLabel>(w, "alexaRankLabel")->palette().color(QPalette::WindowText), gui::kSwitchedOffText);
    savePicture(w, "main-window-blocked");

    // The history keeps the failure values old readers know.
    const auto records = records::ReadHistory(m_folder, "example.com");
    ASSERT_FALSE(records.empty());
    EXPECT_TRUE(records.back()[3].ends_with("/0")) << records.back()[3];
    EXPECT_EQ(records.back()[9], "查询失败");
}

// A user's file that moves one engine to https is what the window asks. Against a stand-in
// that, like the real engines, answers plain HTTP only with a redirect, that engine's count
// arrives over TLS and the counts still asked over plain HTTP fail.
TEST_F(MainWindowTest, AUserFileMovingAnEngineToHttpsIsWhatTheWindowAsks)
{
    struct DefaultAgain {
        ~DefaultAgain() { profiles::setActiveProfile(profiles::defaultProfile()); }
    } defaultAgain;
    standin::StandinAuthority authority;
    QTemporaryDir dir;
    const std::string ca = dir.path().toStdString() + "/ca.pem";
    authority.writeCertificate(ca);
    net::addTrustAnchorFile(ca);
    standin::StandinServer tls({.authority = &authority, .redirectToHttps = true});
    net::clearConnectToRules();
    net::addConnectToRules({{"", "443", "127.0.0.1", std::to_string(tls.tlsPort())},
                            {"", "", "127.0.0.1", std::to_string(tls.port())}});
    profiles::setActiveProfile(profiles::loadProfile(profiles::defaultProfileText(),
                                                     "[count.baidu.indexed]\nscheme = \"https\"\n", "engines.toml"));
    runFor(QStringLiteral("example.com"));

    QTableWidgetItem* indexed = control<QTableWidget>(w, "countGrid")->item(1, 1);
    EXPECT_EQ(indexed->text(), QStringLiteral("871"));
    EXPECT_NE(indexed->foreground().color(), gui::kFailureText);
    QTableWidgetItem* backlinks = control<QTableWidget>(w, "countGrid")->item(1, 2);
    EXPECT_EQ(backlinks->foreground().color(), gui::kFailureText);
    EXPECT_EQ(backlinks->toolTip(), QStringLiteral("查询失败：HTTP/1.1 301 Moved Permanently"));
}

// The current base against the stand-in's world of today: real counts for the live
// engines, 已停用 in a grey of its own with the reason as tool tip for the gone ones, and
// Tranco's rank in the traffic-rank slot.
TEST_F(MainWindowTest, TodaysServicesShowRealFiguresAndRetiredOnesInTheirOwnGrey)
{
    struct DefaultAgain {
        ~DefaultAgain() { profiles::setActiveProfile(profiles::defaultProfile()); }
    } defaultAgain;
    standin::StandinAuthority authority;
    QTemporaryDir dir;
    const std::string ca = dir.path().toStdString() + "/ca.pem";
    authority.writeCertificate(ca);
    net::addTrustAnchorFile(ca);
    standin::StandinServer today({.authority = &authority, .redirectToHttps = true, .world = standin::World::Current});
    net::clearConnectToRules();
    net::addConnectToRules({{"", "443", "127.0.0.1", std::to_string(today.tlsPort())},
                            {"", "", "127.0.0.1", std::to_string(today.port())}});
    profiles::setActiveProfile(profiles::loadProfile(profiles::currentProfileText()));
    runFor(QStringLiteral("example.com"));

    const auto f = standin::overviewFigures("example.com");
    EXPECT_EQ(cell(1, 1), QString::number(f.indexed[0]));
    EXPECT_EQ(cell(1, 4), QString::number(f.indexed[3]));
    EXPECT_EQ(cell(1, 7), QString::number(f.indexed[6]));
    EXPECT_NE(control<QTableWidget>(w, "countGrid")->item(1, 1)->foreground().color(), gui::kFailureText);

    QTableWidgetItem* yahoo = control<QTableWidget>(w, "countGrid")->item(3, 1);
    EXPECT_EQ(yahoo->text(), QStringLiteral("已停用"));
    EXPECT_EQ(yahoo->foreground().color(), gui::kRetiredText);
    EXPECT_EQ(yahoo->background().color(), gui::kRetiredBackground);
    EXPECT_NE(gui::kRetiredText, gui::kFailureText);
    EXPECT_NE(gui::kRetiredText, gui::kSwitchedOffText);
    EXPECT_EQ(yahoo->toolTip(), QStringLiteral("2013-09: Yahoo China closed"));
    EXPECT_EQ(control<QLabel>(w, "pageRankPicture")->text(), QStringLiteral("已停用"));
    EXPECT_EQ(control<QLabel>(w, "pageRankPicture")->toolTip(), QStringLiteral("2016-04: Google toolbar PageRank data ended"));
    EXPECT_EQ(control<TGauge>(w, "sogouRatingGauge")->text(), QStringLiteral("已停用"));
    EXPECT_EQ(control<TGauge>(w, "sogouRatingGauge")->backgroundColor(), gui::kRetiredBackground);
    EXPECT_EQ(control<QLabel>(w, "chinaRankLabel")->text(), QStringLiteral("已停用"));
    EXPECT_EQ(control<QLabel>(w, "chinaRankLabel")->palette().color(QPalette::WindowText), gui::kRetiredText);
    EXPECT_EQ(control<QLabel>(w, "alexaRankLabel")->text(), QString::number(*standin::trancoRank("example.com")));
    EXPECT_TRUE(control<QLabel>(w, "alexaRankLabel")->toolTip().isEmpty());
    savePicture(w, "main-window-current");

    // The slot is named after the service in it in a window made with this profile.
    AppWindows fresh(m_folder);
    // Its IP window asks for the own address as it is made: let that end before it goes.
    QSignalSpy ownAddress(fresh.ipWindow.get(), &IpWindow::ownAddressSettled);
    QLabel* caption = nullptr;
    for (QLabel* label : fresh.mainWindow->findChildren<QLabel*>())
        if (label->text().startsWith(QStringLiteral("Tranco")))
            caption = label;
    ASSERT_NE(caption, nullptr);
    EXPECT_EQ(caption->text(), QStringLiteral("Tranco："));
    EXPECT_TRUE(!ownAddress.isEmpty() || ownAddress.wait(5000));
}

} // namespace

// The program shows the main window before making the others: every one must still be
// there before the first input is handled, and whenever one is asked for.
TEST_F(MainWindowTest, MainFirstMakesTheOtherWindowsBeforeTheFirstInput)
{
    QTemporaryDir dir;
    const records::DataFolder folder(dir.path().toStdString());
    records::EnsureDataFolder(folder);
    {
        AppWindows windows(folder, AppWindows::Making::MainFirst);
        EXPECT_FALSE(windows.mailWindow);
        windows.mainWindow->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(windows.mainWindow.get()));
        EXPECT_FALSE(windows.updateNotice) << "nothing asked for them yet";
        // The key that triggers the making still reaches its box.
        control<QComboBox>(windows.mainWindow, "domainBox")->setFocus();
        QTest::keyClick(control<QComboBox>(windows.mainWindow, "domainBox"), Qt::Key_A);
        EXPECT_TRUE(windows.mailWindow && windows.keywordWindow && windows.siteListWindow && windows.historyWindow
                    && windows.whoisWindow && windows.ipWindow && windows.aboutWindow && windows.updateNotice);
        EXPECT_EQ(control<QComboBox>(windows.mainWindow, "domainBox")->currentText(), "a");
    }
    {
        AppWindows windows(folder, AppWindows::Making::MainFirst);
        QWidget* about = windows.window(WindowId::About);
        EXPECT_EQ(about, windows.aboutWindow.get());
        EXPECT_TRUE(about && windows.updateNotice);
        windows.completeWindows();
    }
}
