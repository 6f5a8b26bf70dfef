#include "cli/FailureLines.h"
#include "cli/Output.h"
#include "cli/SavedPages.h"
#include "cli/Verbs.h"

#include "core/fetch/QueryFetch.h"
#include "core/lookups/IpQuery.h"
#include "core/lookups/WhoisQuery.h"
#include "core/net/TRegExp.h"
#include "core/profiles/ActiveProfile.h"
#include "core/profiles/ProfileLoader.h"
#include "core/profiles/ServiceNames.h"
#include "core/queries/DisplayText.h"
#include "core/queries/EngineCount.h"
#include "core/queries/KeywordSearch.h"
#include "core/queries/RankQueries.h"
#include "core/records/FileIo.h"
#include "core/text/Encoding.h"

#include <iostream>
#include <memory>
#include <optional>
#include <sstream>

namespace kaldrani::cli {

namespace {

// The engine whose keyword service is named so ("keyword.baidu"); nothing for another service.
std::optional<SearchEngine> keywordEngineOf(const std::string& name)
{
    for (const SearchEngine e : kSearchEngines)
        if (name == profiles::keywordService(e))
            return e;
    return std::nullopt;
}

std::string originText(const profiles::Origin& origin)
{
    return origin.fromUser() ? origin.file + ":" + std::to_string(origin.line) : "default";
}

// "default", or the keys the user's file set, each with its file and line.
std::string sourcesOf(const profiles::Service& s)
{
    std::string out;
    for (const std::string& key : s.keys) {
        const profiles::Origin& origin = s.origins.at(key);
        if (origin.fromUser())
            out += (out.empty() ? "" : ", ") + key + " (" + originText(origin) + ")";
    }
    return out.empty() ? "default" : out;
}

std::string quoted(const std::string& text)
{
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\t')
            out += "\\t";
        else
            out += c;
    }
    return out + "\"";
}

// The value of one key as the profile file would write it.
std::string valueOf(const profiles::Service& s, const std::string& key)
{
    const auto list = [](const std::vector<std::string>& items) {
        std::string out = "[";
        for (const std::string& item : items)
            out += (out.size() > 1 ? ", " : "") + quoted(item);
        return out + "]";
    };
    if (key == "enabled")
        return s.enabled ? "true" : "false";
    if (key == "scheme")
        return quoted(s.scheme);
    if (key == "host")
        return quoted(s.host);
    if (key == "path")
        return quoted(s.path);
    if (key == "query")
        return quoted(s.query);
    if (key == "page_first")
        return std::to_string(s.pageFirst);
    if (key == "page_step")
        return std::to_string(s.pageStep);
    if (key == "term_encoding")
        return s.termEncoding == profiles::TermEncoding::Utf8 ? "\"utf-8\"" : "\"gbk\"";
    if (key == "form")
        return s.form == profiles::PageForm::Stream ? "\"stream\"" : s.form == profiles::PageForm::Auto ? "\"auto\"" : "\"string\"";
    if (key == "user_agent")
        return quoted(s.userAgent);
    if (key == "follow_redirects")
        return s.followRedirects ? "true" : "false";
    if (key == "read_timeout_ms")
        return std::to_string(s.readTimeoutMs);
    if (key == "connect_timeout_ms")
        return std::to_string(s.connectTimeoutMs);
    if (key == "deadline_ms")
        return std::to_string(s.deadlineMs);
    if (key == "pattern")
        return quoted(s.pattern);
    if (key == "removals") {
        std::string out = "[";
        for (const profiles::Edit& e : s.removals)
            out += (out.size() > 1 ? ", " : "") + (e.to.empty() ? quoted(e.from) : "[" + quoted(e.from) + ", " + quoted(e.to) + "]");
        return out + "]";
    }
    if (key == "blocked")
        return list(s.blocked);
    if (key == "not_found")
        return quoted(s.notFound);
    if (key == "retired")
        return quoted(s.retired);
    if (key == "label")
        return quoted(s.label);
    if (key == "headers") {
        std::string out = "{";
        for (const auto& [name, value] : s.headers)
            out += (out.size() > 1 ? ", " : " ") + quoted(name) + " = " + quoted(value);
        return out + (out.size() > 1 ? " }" : "}");
    }
    if (key == "unwrap")
        return quoted(s.unwrap);
    if (key == "unwrap_decode")
        return s.unwrapDecode == profiles::UnwrapDecode::Base64Url ? "\"base64url\""
               : s.unwrapDecode == profiles::UnwrapDecode::Percent ? "\"percent\""
                                                                    : "\"none\"";
    if (key == "reader")
        return s.reader == profiles::AnswerReader::TrancoJson ? "\"tranco-json\"" : "\"pattern\"";
    if (key == "min_interval_ms")
        return std::to_string(s.minIntervalMs);
    if (key == "group")
        return std::to_string(s.group);
    return "?";
}

// Every pattern of the service that does not compile, as "KEY: reason" lines.
std::string patternFaults(const profiles::Service& s)
{
    std::string out;
    const auto check = [&](const char* key, const std::string& pattern) {
        if (pattern.empty())
            return;
        try {
            net::TRegExp re;
            re.setPattern(pattern);
            re.Execute("");
        } catch (const std::exception& e) {
            out += s.name + "." + key + ": the pattern does not compile: " + e.what() + "\n";
        }
    };
    check("pattern", s.pattern);
    check("unwrap", s.unwrap);
    for (const std::string& marker : s.blocked)
        check("blocked", marker);
    return out;
}

// What the window would show for the page, read as service's profile says; raises what
// the extraction raises (MissingFigure, BlockedPage, a bad pattern).
std::string shownFor(const profiles::Service& s, const std::string& page, const std::string& site)
{
    const std::string& name = s.name;
    if (name.starts_with("count."))
        return queries::countTextOf(s, page);
    if (name == profiles::kPageRank)
        return std::to_string(queries::pageRankOf(s, page));
    if (name == profiles::kSogouRating)
        return std::to_string(queries::sogouRatingOf(s, page));
    if (name == profiles::kAlexaRank)
        return queries::alexaRankOf(s, page);
    if (name == profiles::kChinaRank)
        return queries::chinaRankOf(s, page);
    if (const std::optional<SearchEngine> engine = keywordEngineOf(name)) {
        // As the first page of a scan: the position among this page's results.
        const long long hit = queries::keywordHitOnPage(s, site, page);
        return queries::keywordResultText(*engine, {queries::KeywordResult{hit + 1}, std::nullopt});
    }
    if (name == profiles::kWhois) {
        std::string text = lookups::whoisText(s, page);
        if (text == lookups::kWhoisFailure)
            throw fetch::MissingFigure("no record on the page");
        return text;
    }
    if (name == profiles::kOwnAddress)
        return lookups::ownAddressText(s, page);
    if (name == profiles::kIpLookup)
        return lookups::ipLookupText(s, page);
    throw CommandFailure(2, "kaldrani-cli: " + name + " reads nothing out of a page");
}

// The failure value the window shows when the service's extraction fails.
std::string failureValueOf(const profiles::Service& s)
{
    if (s.name == profiles::kAlexaRank)
        return "查询失败";
    if (s.name == profiles::kWhois)
        return std::string(lookups::kWhoisFailure);
    if (s.name == profiles::kIpLookup)
        return std::string(lookups::kIpFailure);
    if (s.name == profiles::kOwnAddress)
        return {};
    if (const std::optional<SearchEngine> engine = keywordEngineOf(s.name))
        return std::string(queries::keywordFailureText(*engine));
    return "0";
}

// Whether the user's file names the base (else it is the default one).
bool baseFromUser(const profiles::Profile& profile)
{
    return !profile.userFile.empty() && profile.base != profiles::defaultBaseName();
}

int listServices(bool keys)
{
    const std::shared_ptr<const profiles::Profile> profile = profiles::activeProfile();
    std::ostringstream out;
    // The base leads the keys, as the user's file would write it.
    if (keys)
        out << "base\t" << quoted(profile->base) << '\t' << (baseFromUser(*profile) ? profile->userFile : "default") << '\n';
    for (const profiles::Service& s : profile->services) {
        if (!keys) {
            const std::string state = !s.retired.empty() ? "retired: " + s.retired : s.enabled ? "on" : "off";
            out << s.name << '\t' << tsvField(state) << '\t' << tsvField(s.url({})) << '\t'
                << tsvField(sourcesOf(s)) << '\n';
            continue;
        }
        for (const std::string& key : s.keys)
            out << s.name << '.' << key << '\t' << tsvField(valueOf(s, key)) << '\t'
                << tsvField(originText(s.origins.at(key))) << '\n';
    }
    writeStdout(out.str());
    return 0;
}

int checkServices()
{
    const std::shared_ptr<const profiles::Profile> profile = profiles::activeProfile();
    std::string faults;
    for (const profiles::Problem& problem : profile->problems)
        faults += problem.text() + "\n";
    for (const profiles::Service& s : profile->services)
        faults += patternFaults(s);
    if (!faults.empty()) {
        std::cerr << terminalText(faults, true) << std::flush;
        return 1;
    }
    const std::string base = "the " + profile->base + " profile";
    const std::string from = profile->userFile.empty() ? base : base + " and " + profile->userFile;
    writeStdout(std::to_string(profile->services.size()) + " services, every pattern and address sound (" + from + ")\n");
    return 0;
}

int tryService(const std::string& name, const std::string& file, const std::string& site)
{
    const std::shared_ptr<const profiles::Profile> profile = profiles::activeProfile();
    const profiles::Service* s = profile->find(name);
    if (s == nullptr)
        throw CommandFailure(2, "kaldrani-cli: no service \"" + name + "\" (kaldrani-cli engines lists them)");
    if (name.starts_with("keyword.") && site.empty())
        throw CommandFailure(2, "kaldrani-cli: " + name + " needs --site SITE to look for");
    const std::string body = savedPageBody(records::fileio::readDataFile(file));
    // As the fetch would have handed it over.
    const std::string page = s->form == profiles::PageForm::Stream ? text::gbkToUtf8(body)
                             : s->form == profiles::PageForm::Auto ? fetch::decodeDeclared(body, {})
                                                                   : text::sanitizeUtf8(body);
    std::string shown;
    std::string why;
    try {
        shown = shownFor(*s, page, site);
    } catch (const CommandFailure&) {
        throw;
    } catch (...) {
        const fetch::Failure failure = fetch::failureOf(std::current_exception(), 0);
        why = failure.reason;
        shown = failureValueOf(*s);
        if (const std::optional<SearchEngine> engine = keywordEngineOf(name))
            shown = queries::keywordResultText(*engine, {queries::KeywordResult{}, failure});
    }
    writeStdout(terminalText(shown, false) + "\n");
    if (why.empty())
        return 0;
    std::cerr << reasonLine(why) << std::flush;
    return 1;
}

} // namespace

Verb addEnginesVerb(CLI::App& app, const GlobalOptions&)
{
    CLI::App* command = app.add_subcommand(
        "engines", "List every service of the engine profile: name, on or off, address, where its values come from");
    auto keys = std::make_shared<bool>(false);
    command->add_flag("--keys", *keys, "List every key instead: service.key, TAB, value, TAB, default or FILE:LINE");

    CLI::App* check = command->add_subcommand(
        "check", "Check the profile: every problem of the user's file and every pattern that does not compile, exit 1 on any");

    CLI::App* trial = command->add_subcommand(
        "try", "Read a saved page as service NAME would and print what the window would show; the reason on stderr, exit 1, when it fails");
    struct TryArgs {
        std::string name;
        std::string file;
        std::string site;
    };
    auto args = std::make_shared<TryArgs>();
    trial->add_option("NAME", args->name, "The service, e.g. count.baidu.indexed (see kaldrani-cli engines)")->required();
    trial->add_option("FILE", args->file, "A page kept by --save-pages, or saved from a browser")->required();
    trial->add_option("--site", args->site, "For a keyword service: the site to look for among the results")
        ->option_text("SITE");

    return {command, [command, check, trial, keys, args]() -> int {
                if (check->parsed())
                    return checkServices();
                if (trial->parsed())
                    return tryService(args->name, args->file, args->site);
                (void)command;
                return listServices(*keys);
            }};
}

} // namespace kaldrani::cli
