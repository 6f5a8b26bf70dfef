#include "core/records/DataFolder.h"
#include "core/records/FileIo.h"
#include "core/records/History.h"

#include "RecordsTestSupport.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <set>

using namespace kaldrani::records;
using namespace records_test;

namespace {

namespace fs = std::filesystem;

// Runs body in a child process; the child's exit status is body's result.
pid_t spawn(const std::function<int()>& body)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        int status = 1;
        try {
            status = body();
        } catch (...) {
        }
        ::_exit(status);
    }
    return pid;
}

int waitFor(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The window and the command line, or two command lines, appending and trimming the same
// history at once: a trim must never drop a record that was appended while it ran.
TEST(ConcurrentWriters, NoRecordIsLostAndEveryLineStaysWhole)
{
    TempFolder temp;
    const DataFolder folder(temp.path());
    EnsureDataFolder(folder);
    const fs::path history = folder.historyFolder() / "a.com.txt";
    // 1000 old lines: every append pushes the file past the limit, so trims keep running,
    // and as the appends stay under 1000 a trim may only ever drop these.
    std::string old;
    for (int i = 0; i < 1000; ++i)
        old += "old" + std::to_string(i) + ",x\r\n";
    writeBytes(history, old);

    constexpr int kWriters = 4;
    constexpr int kRecordsEach = 200;
    const fs::path done = temp.path() / "writers-done";

    std::vector<pid_t> writers;
    for (int w = 0; w < kWriters; ++w)
        writers.push_back(spawn([&, w] {
            for (int i = 0; i < kRecordsEach; ++i)
                appendHistoryLine(folder, "a.com", 'w' + std::to_string(w) + "-" + std::to_string(i) + ",1/2,2010-1-6");
            return 0;
        }));
    std::vector<pid_t> trimmers;
    for (int t = 0; t < 2; ++t)
        trimmers.push_back(spawn([&] {
            int rounds = 0;
            while (!fs::exists(done) || rounds < 5) {
                ReadHistory(folder, "a.com");
                ++rounds;
            }
            return 0;
        }));

    for (const pid_t pid : writers)
        EXPECT_EQ(waitFor(pid), 0) << "a writer reported a failure";
    writeBytes(done, "");
    for (const pid_t pid : trimmers)
        EXPECT_EQ(waitFor(pid), 0) << "a trimmer reported a failure";

    const std::vector<std::string> lines = splitLines(readBytes(history));
    std::set<std::string> records;
    size_t broken = 0;
    for (const auto& line : lines) {
        const std::string name = line.substr(0, line.find(','));
        const std::string rest = line.substr(name.size());
        if (name.starts_with("old") && rest == ",x")
            continue;
        if (!name.starts_with("w") || rest != ",1/2,2010-1-6")
            ++broken;
        else
            EXPECT_TRUE(records.insert(name).second) << "twice: " << line;
    }
    EXPECT_EQ(broken, 0u);
    for (int w = 0; w < kWriters; ++w)
        for (int i = 0; i < kRecordsEach; ++i)
            EXPECT_TRUE(records.count('w' + std::to_string(w) + "-" + std::to_string(i))) << "lost w" << w << "-" << i;
    EXPECT_EQ(fileNames(folder.historyFolder()), (std::vector<std::string>{"a.com.txt"}));
}

} // namespace
