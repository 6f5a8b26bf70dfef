// The whois and IP windows with the profile base "current": RDAP and the offline IP
// database, against the stand-in over HTTPS.
#include "CurrentPages.h"
#include "Controls.h"
#include "MmdbWriter.h"
#include "RdapPages.h"
#include "StandinServer.h"
#include "StandinTls.h"
#include "TempFolder.h"
#include "core/fetch/SafetyTimeout.h"
#include "core/net/ConnectTo.h"
#include "core/net/Tls.h"
#include "core/profiles/ActiveProfile.h"
#include "core/records/DataFolder.h"
#include "gui/ErrorBox.h"
#include "gui/IpWindow.h"
#include "gui/Runner.h"
#include "gui/WhoisWindow.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "CurrentPages.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

using namespace kaldrani;
using namespace kaldrani::gui;

namespace {

class CurrentLookupWindows : public ::testing::Test {
protected:
    CurrentLookupWindows() : m_server({.authority = &m_authority})
    {
        m_authority.writeCertificate(m_folder.path() / "ca.pem");
        net::addTrustAnchorFile((m_folder.path() / "ca.pem").string());
        ::setenv("XDG_CACHE_HOME", (m_folder.path() / "cache").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (m_folder.path() / "share").c_str(), 1);
        net::clearConnectToRules();
        net::addConnectToRules({{"", "443", "127.0.0.1", std::to_string(m_server.tlsPort())},
                                {"", "", "127.0.0.1", std::to_string(m_server.port())}});
        profiles::Profile current = profiles::defaultProfile();
        current.base = "current";
        profiles::setActiveProfile(std::move(current));
        setApplicationErrorSink([this](const QString& message) { m_errors.append(message); });
    }
    ~CurrentLookupWindows() override
    {
        setApplicationErrorSink({});
        profiles::setActiveProfile(profiles::defaultProfile());
        net::clearConnectToRules();
        ::unsetenv("XDG_CACHE_HOME");
        ::unsetenv("XDG_DATA_HOME");
        EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join(" | ").toStdString();
    }

    kaldrani::testing::TempFolder m_folder;
    standin::StandinAuthority m_authority;
    standin::StandinServer m_server;
    gui::Runner m_runner;
    QStringList m_errors;
};

TEST_F(CurrentLookupWindows, WhoisShowsTheRdapRecordWithBothFormsOfAnIdn)
{
    records::DataFolder data((m_folder.path() / "data").string());
    WhoisWindow w(m_runner, data);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    control<QComboBox>(w, "domainBox")->setEditText(QStringLiteral("公司.网络"));
    QTest::mouseClick(control<QPushButton>(w, "queryButton"), Qt::LeftButton);
    const standin::RegistrationFigures f = standin::registrationOf("xn--55qx5d.xn--io0a7i");
    const QString text = control<QPlainTextEdit>(w, "recordBox")->toPlainText();
    EXPECT_TRUE(text.startsWith(QStringLiteral("域名：公司.网络（XN--55QX5D.XN--IO0A7I）\n注册商：")
                                + QString::fromStdString(f.registrar)))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("到期日期：") + QString::fromStdString(f.expires)));
}

TEST_F(CurrentLookupWindows, IpOffersTheDatabaseWhenItIsMissing)
{
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    char path[64];
    std::snprintf(path, sizeof path, "/free/dbip-city-lite-%04d-%02d.mmdb.gz", tm.tm_year + 1900, tm.tm_mon + 1);
    standin::Response file;
    file.body = standin::gzipped(kaldrani::testing::writeMmdb({{"1.2.3.0/24", "China", "中国", "Beijing", "Beijing"}}));
    m_server.setAnswer("download.db-ip.com", path, file);

    IpWindow w(m_runner);
    QSignalSpy spy(&w, &IpWindow::ownAddressSettled);
    ASSERT_TRUE(!spy.isEmpty() || spy.wait(10000));
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    EXPECT_FALSE(control<QPushButton>(w, "downloadButton")->isVisible());
    control<QLineEdit>(w, "addressEdit")->setText(QStringLiteral("1.2.3.4"));
    QTest::mouseClick(control<QPushButton>(w, "queryButton"), Qt::LeftButton);
    EXPECT_EQ(control<QPlainTextEdit>(w, "resultBox")->toPlainText(), QStringLiteral("没有离线 IP 数据库，请先下载（kaldrani-cli ip --update）。"));
    ASSERT_TRUE(control<QPushButton>(w, "downloadButton")->isVisible());

    QTest::mouseClick(control<QPushButton>(w, "downloadButton"), Qt::LeftButton);
    EXPECT_FALSE(control<QPushButton>(w, "downloadButton")->isVisible());
    EXPECT_EQ(control<QPlainTextEdit>(w, "resultBox")->toPlainText(),
              QStringLiteral("您查询的IP：1.2.3.4\n国家：中国\n地区：Beijing\n城市：Beijing\nIP 数据：DB-IP.com（CC BY 4.0）"));
}

} // namespace
