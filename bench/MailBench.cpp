// A bulk mail run of 1000 recipient lines against the loopback stand-in SMTP service,
// beside Python's smtplib sending the same messages over one connection.
#include "SmtpStandin.h"

#include "core/mail/MailDate.h"
#include "core/mail/MailRun.h"
#include "core/net/ConnectTo.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace kaldrani;

namespace {

constexpr int kLines = 1000;
namespace fs = std::filesystem;

const fs::path& folder()
{
    static const fs::path path = fs::temp_directory_path() / ("kaldrani-mail-bench-" + std::to_string(::getpid()));
    return path;
}

standin::SmtpStandin& server()
{
    static standin::SmtpStandin s(folder() / "inbox");
    return s;
}

std::vector<std::string> recipients()
{
    std::vector<std::string> list;
    for (int i = 0; i < kLines; ++i)
        list.push_back("rcpt" + std::to_string(i) + "@example.com");
    return list;
}

mail::MailInputs inputs()
{
    mail::MailInputs in;
    for (const std::string& r : recipients())
        in.mailList += r + "\r\n";
    in.serverName = "mail.example.test";
    in.userName = "mailer";
    in.password = "secret";
    in.mail = "sender@example.com";
    in.fname = "发送者";
    in.title = "新年好：本月的站点报告已经生成";
    in.content = "您好，\r\n\r\n本月的站点报告已经生成，请登录后查看。\r\n.\r\n此致\r\nKaldrani";
    return in;
}

class QuietMailView : public mail::MailView {
public:
    void processPendingEvents() override { }
    void setStatus(const std::string&) override { }
    void setSending(bool) override { }
    void reportError(const std::string& message) override { std::fprintf(stderr, "mail run: %s\n", message.c_str()); }
};

double sendRun()
{
    static const mail::MailInputs in = inputs();
    mail::TSmtpClient client;
    mail::TMailMessage message;
    message.CharSet = mail::MailCharset{"GB2312", 'B'};
    QuietMailView view;
    const auto t0 = std::chrono::steady_clock::now();
    mail::runSendMail(client, message, in, view);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// The same message bytes as the run sends, for smtplib to send as they are.
const fs::path& messageFile()
{
    static const fs::path path = [] {
        const mail::MailInputs in = inputs();
        mail::TMailMessage message;
        message.setFrom(in.mail);
        message.setRecipients("rcpt0@example.com");
        message.Subject = in.title;
        message.setBody(in.content);
        const fs::path p = folder() / "message.eml";
        fs::create_directories(folder());
        std::ofstream(p, std::ios::binary)
            << mail::composeMessage(message, {"GB2312", 'B'}, mail::formatMailDate(std::time(nullptr)));
        return p;
    }();
    return path;
}

double smtplibRun()
{
    std::string command = "/usr/bin/python3 " KALDRANI_SMTPLIB_RUN " " + std::to_string(server().port()) + " "
                        + messageFile().string();
    for (const std::string& r : recipients())
        command += " " + r;
    FILE* pipe = ::popen(command.c_str(), "r");
    double seconds = -1;
    if (pipe == nullptr || std::fscanf(pipe, "%lf", &seconds) != 1)
        seconds = -1;
    if (pipe != nullptr)
        ::pclose(pipe);
    return seconds;
}

void clearInbox()
{
    for (const auto& entry : fs::directory_iterator(server().folder()))
        fs::remove(entry.path());
}

void BM_MailRun1000(benchmark::State& state)
{
    for (auto _ : state) {
        state.SetIterationTime(sendRun());
        state.PauseTiming();
        clearInbox();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_MailRun1000)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

void BM_Smtplib1000(benchmark::State& state)
{
    for (auto _ : state) {
        const double seconds = smtplibRun();
        if (seconds < 0) {
            state.SkipWithError("smtplib run failed");
            break;
        }
        state.SetIterationTime(seconds);
        state.PauseTiming();
        clearInbox();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_Smtplib1000)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// Alternating rounds, so both sides meet the same load on a shared machine; medians.
void printRatio(int rounds)
{
    std::vector<double> ours, python;
    for (int i = 0; i < rounds; ++i) {
        ours.push_back(sendRun());
        clearInbox();
        python.push_back(smtplibRun());
        clearInbox();
    }
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    const double a = median(ours), b = median(python);
    std::printf("side by side, %d rounds of %d messages: send run %.1f ms (%.1f us a message), smtplib %.1f ms "
                "(%.1f us a message), ratio %.2f\n",
                rounds, kLines, a * 1e3, a * 1e6 / kLines, b * 1e3, b * 1e6 / kLines, a / b);
}

} // namespace

int main(int argc, char** argv)
{
    net::addConnectToRules({{"", "25", "127.0.0.1", std::to_string(server().port())}});
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    printRatio(5);
    benchmark::Shutdown();
    server().stop();
    fs::remove_all(folder());
    return 0;
}
