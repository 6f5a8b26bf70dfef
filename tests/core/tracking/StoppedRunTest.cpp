// A run whose thread's stop signal is raised midway, as a window's Stop or the quit item
// does it: it ends at once, writes no history or keyword record, and sends no further mail.
#include "ScriptedServer.h"
#include "ScriptedSmtpServer.h"
#include "TempFolder.h"
#include "core/mail/MailRun.h"
#include "core/net/ConnectTo.h"
#include "core/net/StopSignal.h"
#include "core/queries/SiteOverviewRun.h"
#include "core/records/KeywordHistory.h"
#include "core/records/DataFolder.h"
#include "core/tracking/KeywordScanRecord.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

namespace {

using namespace kaldrani;
namespace kt = kaldrani::testing;
namespace fs = std::filesystem;

// Keeps what a send run said.
class KeepingMailView : public mail::MailView {
public:
    void setStatus(const std::string& text) override { statuses.push_back(text); }
    void setRunning(bool) override { }
    void reportError(const std::string& message) override { errors.push_back(message); }
    std::vector<std::string> statuses;
    std::vector<std::string> errors;
};

class StoppedRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        records::EnsureDataFolder(m_folder);
        records::saveSiteList(m_folder, "example.com\r\n");
        net::clearConnectToRules();
        net::addConnectToRules({{"", "25", "127.0.0.1", std::to_string(m_smtp.port())},
                                {"", "", "127.0.0.1", std::to_string(m_http.port())}});
    }
    void TearDown() override { net::clearConnectToRules(); }

    // Runs run on a thread of its own bound to a stop signal, raises the signal once
    // ready() holds, and waits for the run to end.
    void runThenStop(const std::function<void()>& run, const std::function<bool()>& ready)
    {
        net::StopSignal stop;
        std::atomic<bool> ended{false};
        std::thread thread([&] {
            const net::StopScope scope(stop);
            run();
            ended = true;
        });
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!ready() && !ended && std::chrono::steady_clock::now() < limit)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_FALSE(ended) << "the run ended before the stop";
        stop.raise();
        thread.join();
    }

    kt::TempFolder m_temp;
    records::DataFolder m_folder{m_temp.path()};
    // Every page stalls until the client leaves.
    kt::ScriptedServer m_http{[](const std::string&) { return std::optional<kt::Reply>(kt::Reply{{}, kt::Reply::Then::Stall}); }};
    std::atomic<int> m_messages{0};
    // Takes the first message; the second never gets its answer.
    kt::ScriptedSmtpServer m_smtp{"220 ready\r\n", [this](const std::string& c) -> kt::SmtpStep {
                                      if (c.starts_with("EHLO") || c.starts_with("HELO"))
                                          return {"250 hi\r\n"};
                                      if (c == "DATA")
                                          return {"354 go on\r\n"};
                                      if (c == ".")
                                          return ++m_messages == 2 ? kt::SmtpStep{"", kt::SmtpStep::Then::Stall}
                                                                   : kt::SmtpStep{"250 taken\r\n"};
                                      if (c == "QUIT")
                                          return {"221 bye\r\n", kt::SmtpStep::Then::Close};
                                      return {"250 ok\r\n"};
                                  }};
};

TEST_F(StoppedRun, AnOverviewStoppedDuringItsFirstCountKeepsNoHistory)
{
    queries::OverviewDisplay display;
    queries::QuietOverviewView view;
    runThenStop([&] { queries::runSiteOverview(display, view, m_folder, "example.com", {"example.com"}); },
                [&] { return m_http.connections() > 0; });
    EXPECT_FALSE(fs::exists(m_temp.path() / "vemro" / "data" / "example.com.txt"));
    EXPECT_EQ(m_http.connections(), 1) << "no query after the stop";
    EXPECT_TRUE(view.firstError().empty()) << view.firstError();
}

TEST_F(StoppedRun, AKeywordScanStoppedMidwayKeepsNoRecord)
{
    queries::QuietKeywordView view;
    tracking::RecordedScan scan;
    queries::EngineSelection all{};
    all.fill(true);
    runThenStop([&] { scan = tracking::scanAndRecord(view, m_folder, "example.com", "seo", 1, 3, all); },
                [&] { return m_http.connections() > 0; });
    EXPECT_FALSE(scan.recorded);
    EXPECT_TRUE(scan.recordError.empty()) << scan.recordError;
    EXPECT_FALSE(fs::exists(records::keywordHistoryPath(m_folder, "example.com")));
    EXPECT_EQ(m_http.connections(), 1) << "no engine asked after the stop";
}

TEST_F(StoppedRun, AStoppedMailRunSaysHowManyWentOutAndSendsNoMore)
{
    mail::TSmtpClient client;
    mail::TMailMessage message;
    KeepingMailView view;
    const mail::MailInputs inputs{"a@x.org\nb@y.org\nc@z.org", "localhost", "mailer", "secret",
                                  "me@example.test", "Me", "Hello", "Body"};
    runThenStop([&] { mail::runSendMail(client, message, inputs, view); }, [&] { return m_messages >= 2; });
    ASSERT_FALSE(view.statuses.empty());
    EXPECT_EQ(view.statuses.back(), mail::stoppedStatus(1));
    EXPECT_EQ(view.statuses.back(), "已停止发送，已发出 1 封");
    int mailFrom = 0;
    for (const std::string& c : m_smtp.commands())
        mailFrom += c.starts_with("MAIL FROM") ? 1 : 0;
    EXPECT_EQ(mailFrom, 2);
    EXPECT_TRUE(view.errors.empty());
}

TEST_F(StoppedRun, AMailRunStoppedBeforeTheGreetingIsNoFailure)
{
    kt::ScriptedSmtpServer mute("", [](const std::string&) { return kt::SmtpStep{"250 ok\r\n"}; });
    net::clearConnectToRules();
    net::addConnectToRules({{"", "25", "127.0.0.1", std::to_string(mute.port())}});
    mail::TSmtpClient client;
    mail::TMailMessage message;
    KeepingMailView view;
    const mail::MailInputs inputs{"a@x.org", "localhost", "mailer", "secret", "me@example.test", "Me", "Hello", "Body"};
    runThenStop([&] { mail::runSendMail(client, message, inputs, view); }, [&] { return mute.connections() > 0; });
    ASSERT_FALSE(view.statuses.empty());
    EXPECT_EQ(view.statuses.back(), mail::stoppedStatus(0));
    EXPECT_TRUE(view.errors.empty()) << view.errors.front();
}

} // namespace
