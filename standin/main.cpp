#include "SmtpStandin.h"
#include "FailingServices.h"
#include "RdapPages.h"
#include "StandinServer.h"
#include "StandinTls.h"

#include "kaldrani/Version.h"

#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>

int main(int argc, char** argv)
{
    // A peer that closes mid-write fails that write (EPIPE), never the whole program: TLS
    // writes cannot ask the kernel for MSG_NOSIGNAL.
    std::signal(SIGPIPE, SIG_IGN);
    CLI::App app{"Kaldrani stand-in web services: every page the program asks, served on loopback."};
    app.name("kaldrani-standin");
    app.set_version_flag("--version", std::string("kaldrani-standin ") + kaldrani::kVersion, "Print the version and exit");
    int port = 0;
    app.add_option("--port", port, "Port on 127.0.0.1 (0: a free one)")->check(CLI::Range(0, 65535));
    std::string mailDir;
    int smtpPort = 0;
    app.add_option("--mail-dir", mailDir, "Also serve SMTP, writing each message received into this folder");
    app.add_option("--smtp-port", smtpPort, "SMTP port on 127.0.0.1 (0: a free one)")->check(CLI::Range(0, 65535));
    std::string caOut;
    int tlsPort = 0;
    int smtpsPort = 0;
    bool httpsOnly = false;
    app.add_option("--ca-out", caOut,
                   "Also serve HTTPS (and, with --mail-dir, STARTTLS and implicit TLS for mail) with certificates "
                   "from an authority made now, writing its certificate to this file for the program to trust")
        ->option_text("FILE");
    app.add_option("--tls-port", tlsPort, "HTTPS port on 127.0.0.1 (0: a free one)")->check(CLI::Range(0, 65535));
    app.add_option("--smtps-port", smtpsPort, "Implicit TLS mail port on 127.0.0.1 (0: a free one)")
        ->check(CLI::Range(0, 65535));
    app.add_flag("--https-only", httpsOnly,
                 "Answer every plain HTTP request with a redirect to https, as the real services do (needs --ca-out)");
    std::string fail;
    app.add_option("--fail", fail,
                   "Services that fail, as NAME[:HOW],...: NAME baidu, google, yahoo, sogou, soso, youdao, bing, "
                   "pagerank, alexa, chinarank; HOW http (503, the default), empty (an empty page), slow (5 s), "
                   "verify (a verification page) or 429 (Too Many Requests)")
        ->option_text("LIST");
    bool whois = false;
    app.add_flag("--whois", whois,
                 "Also serve port-43 whois on two more ports: IANA's referrals, then CNNIC's .cn and .中国 records");
    int latency = 0;
    app.add_option("--latency", latency,
                   "Milliseconds added before serving each connection and before each answer, as a distant "
                   "server's round trips (default 0)")
        ->check(CLI::Range(0, 60000))
        ->option_text("MS");
    std::string world = "current";
    app.add_option("--world", world,
                   "Which services to play: current (today's engines, Tranco and ipify, as the default profile asks "
                   "them) or classic (the pages of about 2008, as base = \"classic\" asks them)")
        ->check(CLI::IsMember({"current", "classic"}))
        ->option_text("WORLD");
    int day = 0;
    app.add_option("--day", day, "Show the pages of a later day: indexed counts grown, keyword positions moved")
        ->check(CLI::Range(0, 1000));
    app.footer("Prints the ports bound, one per line: HTTP, then HTTPS (with --ca-out), then SMTP (with "
               "--mail-dir), then implicit TLS mail (with both), then IANA's and CNNIC's whois (with --whois).");
    CLI11_PARSE(app, argc, argv);
    if (httpsOnly && caOut.empty()) {
        std::cerr << "kaldrani-standin: --https-only needs --ca-out\n";
        return 2;
    }

    // Blocked before any thread starts, so every thread inherits the mask and only the
    // sigwait below ever takes these signals.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    try {
        std::unique_ptr<kaldrani::standin::StandinAuthority> authority;
        if (!caOut.empty()) {
            authority = std::make_unique<kaldrani::standin::StandinAuthority>();
            authority->writeCertificate(caOut);
        }
        kaldrani::standin::StandinServer server(
            {.port = port,
             .authority = authority.get(),
             .tlsPort = tlsPort,
             .redirectToHttps = httpsOnly,
             .latencyMs = latency,
             .world = world == "classic" ? kaldrani::standin::World::Classic : kaldrani::standin::World::Current});
        kaldrani::standin::failServices(server, fail);
        server.setDay(day);
        std::cout << server.port() << std::endl;
        if (authority)
            std::cout << server.tlsPort() << std::endl;
        std::unique_ptr<kaldrani::standin::SmtpStandin> smtp;
        if (!mailDir.empty()) {
            smtp = std::make_unique<kaldrani::standin::SmtpStandin>(mailDir, smtpPort, authority.get(), smtpsPort);
            std::cout << smtp->port() << std::endl;
            if (authority)
                std::cout << smtp->tlsPort() << std::endl;
        }
        std::unique_ptr<kaldrani::standin::WhoisStandin> whoisServers;
        if (whois) {
            whoisServers = std::make_unique<kaldrani::standin::WhoisStandin>();
            std::cout << whoisServers->ianaPort() << std::endl << whoisServers->cnnicPort() << std::endl;
        }
        int received = 0;
        sigwait(&signals, &received);
        if (smtp)
            smtp->stop();
        if (whoisServers)
            whoisServers->stop();
        server.stop();
    } catch (const std::exception& e) {
        std::cerr << "kaldrani-standin: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
