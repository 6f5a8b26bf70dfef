// A bulk mail run of 1000 recipient lines against the loopback stand-in SMTP service,
// beside Python's smtplib sending the same messages over one connection.
#include "SmtpStandin.h"

#include "core/mail/MailDate.h"
#include "core/mail/MailRun.h"
#include "core/net/ConnectTo.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
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
    void setStatus(const std::string&) override { }
    void setRunning(bool) override { }
    void reportError(const std::string& message) override { std::fprintf(stderr, "mail run: %s\n", message.c_str()); }
};

struct Timing {
    double wall = -1; // seconds from connecting to QUIT
    double cpu = -1;  // CPU seconds of the sending side in that time
};

double threadCpuSeconds()
{
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

Timing sendRun()
{
    static const mail::MailInputs in = inputs();
    mail::TSmtpClient client;
    mail::TMailMessage message;
    message.CharSet = mail::MailCharset{"GB2312", 'B'};
    QuietMailView view;
    const double cpu0 = threadCpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    mail::runSendMail(client, message, in, view);
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), threadCpuSeconds() - cpu0};
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

Timing smtplibRun()
{
    std::string command = "/usr/bin/python3 " KALDRANI_SMTPLIB_RUN " " + std::to_string(server().port()) + " "
                        + messageFile().string();
    for (const std::string& r : recipients())
        command += " " + r;
    FILE* pipe = ::popen(command.c_str(), "r");
    Timing t;
    if (pipe == nullptr || std::fscanf(pipe, "%lf %lf", &t.wall, &t.cpu) != 2)
        t = {};
    if (pipe != nullptr)
        ::pclose(pipe);
    return t;
}

void clearInbox()
{
    for (const auto& entry : fs::directory_iterator(server().folder()))
        fs::remove(entry.path());
}

void BM_MailRun1000(benchmark::State& state)
{
    for (auto _ : state) {
        state.SetIterationTime(sendRun().wall);
        state.PauseTiming();
        clearInbox();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_MailRun1000)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

void BM_Smtplib1000(benchmark::State& state)
{
    for (auto _ : state) {
        const double seconds = smtplibRun().wall;
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
// The CPU time of each sending side shows its own cost apart from the load.
void printRatio(int rounds)
{
    std::vector<double> ours, python, oursCpu, pythonCpu;
    for (int i = 0; i < rounds; ++i) {
        const Timing a = sendRun();
        clearInbox();
        const Timing b = smtplibRun();
        clearInbox();
        ours.push_back(a.wall);
        oursCpu.push_back(a.cpu);
        python.push_back(b.wall);
        pythonCpu.push_back(b.cpu);
    }
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    const double a = median(ours), b = median(python);
    std::printf("side by side, %d rounds of %d messages: send run %.1f ms (%.1f us a message), smtplib %.1f ms "
                "(%.1f us a message), ratio %.2f\n",
                rounds, kLines, a * 1e3, a * 1e6 / kLines, b * 1e3, b * 1e6 / kLines, a / b);
    const double c = median(oursCpu), d = median(pythonCpu);
    std::printf("CPU of the sending side: send run %.1f us a message, smtplib %.1f us a message, ratio %.2f\n",
                c * 1e6 / kLines, d * 1e6 / kLines, c / d);
}

} // namespace

int main(int argc, char** argv)
{
    net::addConnectToRules({{"", "25", "127.0.0.1", std::to_string(server().port())}});
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    printRatio(9);
    benchmark::Shutdown();
    server().stop();
    fs::remove_all(folder());
    return 0;
}
