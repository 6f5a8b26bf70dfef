#include "SmtpStandin.h"
#include "FailingServices.h"
#include "StandinServer.h"

#include "kaldrani/Version.h"

#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>

int main(int argc, char** argv)
{
    CLI::App app{"Kaldrani stand-in web services: every page the program asks, served on loopback."};
    app.name("kaldrani-standin");
    app.set_version_flag("--version", std::string("kaldrani-standin ") + kaldrani::kVersion, "Print the version and exit");
    int port = 0;
    app.add_option("--port", port, "Port on 127.0.0.1 (0: a free one)")->check(CLI::Range(0, 65535));
    std::string mailDir;
    int smtpPort = 0;
    app.add_option("--mail-dir", mailDir, "Also serve SMTP, writing each message received into this folder");
    app.add_option("--smtp-port", smtpPort, "SMTP port on 127.0.0.1 (0: a free one)")->check(CLI::Range(0, 65535));
    std::string fail;
    app.add_option("--fail", fail,
                   "Services that fail, as NAME[:HOW],...: NAME baidu, google, yahoo, sogou, soso, youdao, bing, "
                   "pagerank, alexa, chinarank; HOW http (503, the default), empty (an empty page) or slow (5 s)")
        ->option_text("LIST");
    int day = 0;
    app.add_option("--day", day, "Show the pages of a later day: indexed counts grown, keyword positions moved")
        ->check(CLI::Range(0, 1000));
    CLI11_PARSE(app, argc, argv);

    // Blocked before any thread starts, so every thread inherits the mask and only the
    // sigwait below ever takes these signals.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    try {
        kaldrani::standin::StandinServer server(port);
        kaldrani::standin::failServices(server, fail);
        server.setDay(day);
        std::cout << server.port() << std::endl;
        std::unique_ptr<kaldrani::standin::SmtpStandin> smtp;
        if (!mailDir.empty()) {
            smtp = std::make_unique<kaldrani::standin::SmtpStandin>(mailDir, smtpPort);
            std::cout << smtp->port() << std::endl;
        }
        int received = 0;
        sigwait(&signals, &received);
        if (smtp)
            smtp->stop();
        server.stop();
    } catch (const std::exception& e) {
        std::cerr << "kaldrani-standin: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
