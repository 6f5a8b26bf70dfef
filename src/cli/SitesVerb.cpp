#include "cli/Verbs.h"

#include "cli/Output.h"

#include "core/records/FileIo.h"
#include "core/text/Encoding.h"

#include <iostream>
#include <iterator>
#include <memory>

namespace kaldrani::cli {

namespace {

// A script's file is UTF-8 text as a rule; a byte-order mark wins, and a file that is not
// valid UTF-8 is taken for GBK, the form of a list copied from an old data folder.
std::string decodeListFile(const std::string& bytes)
{
    if (text::detectByteOrderMark(bytes) == text::ByteOrderMark::None && text::isValidUtf8(bytes))
        return bytes;
    return text::decodeFileText(bytes);
}

std::string readListFile(const std::string& file)
{
    if (file != "-")
        return records::fileio::readWholeFile(file);
    std::string bytes{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
    if (std::cin.bad())
        throw records::FileError(records::FileError::Operation::Open, "-", "Read error");
    return bytes;
}

} // namespace

Verb addSitesVerb(CLI::App& app, const GlobalOptions& options)
{
    CLI::App* command = app.add_subcommand("sites", "Print the site list, one site per line");
    CLI::App* set = command->add_subcommand(
        "set", "Replace the site list with FILE's lines (empty lines dropped), as the site manager saves it");
    auto file = std::make_shared<std::string>();
    set->add_option("FILE", *file, "UTF-8 text (a byte-order mark is honoured, non-UTF-8 is read as GBK); - for stdin")
        ->required();

    return {command, [set, file, &options]() -> int {
                const records::DataFolder folder = openDataFolder(options);
                try {
                    if (set->parsed()) {
                        records::saveSiteList(folder, decodeListFile(readListFile(*file)));
                        return 0;
                    }
                    std::string out;
                    for (const auto& site : records::loadSiteList(folder))
                        out += site + '\n';
                    writeStdout(out);
                    return 0;
                } catch (const records::FileError& e) {
                    throw CommandFailure(1, std::string("kaldrani-cli: ") + e.what());
                }
            }};
}

} // namespace kaldrani::cli
