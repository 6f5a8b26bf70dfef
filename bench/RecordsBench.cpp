#include "core/records/DataFolder.h"
#include "core/records/History.h"
#include "core/text/Encoding.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using namespace kaldrani;

// A data folder under the temporary folder, removed at the end.
class BenchFolder {
public:
    BenchFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "kaldrani-bench-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            std::abort();
        m_base = pattern;
        records::EnsureDataFolder(folder());
    }
    ~BenchFolder()
    {
        std::error_code ec;
        fs::remove_all(m_base, ec);
    }
    records::DataFolder folder() const { return records::DataFolder(m_base); }

private:
    fs::path m_base;
};

// Lines as a run writes them, with Chinese failure texts in every tenth record.
std::string historyText(int lines)
{
    std::string text;
    for (int i = 0; i < lines; ++i) {
        const std::string alexa = i % 10 ? std::to_string(640 + i) : "查询失败";
        text += "830/45,880/12,0/0,97/3,156/0,40/0,311/8,4,23," + alexa + ",0,2010-1-6 7:36:31\r\n";
    }
    return text::utf8ToGbk(text);
}

void writeFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

void BM_ReadHistory1000(benchmark::State& state)
{
    BenchFolder bench;
    const auto folder = bench.folder();
    writeFile(folder.historyPath("a.com"), historyText(1000));
    for (auto _ : state)
        benchmark::DoNotOptimize(records::ReadHistory(folder, "a.com"));
}
BENCHMARK(BM_ReadHistory1000)->Unit(benchmark::kMillisecond);

// Cuts a 100,000-line file to 1000 lines: read, write-back through a flushed temporary file, split.
void BM_ReadHistoryTrim100000(benchmark::State& state)
{
    BenchFolder bench;
    const auto folder = bench.folder();
    const std::string text = historyText(100000);
    for (auto _ : state) {
        state.PauseTiming();
        writeFile(folder.historyPath("a.com"), text);
        state.ResumeTiming();
        benchmark::DoNotOptimize(records::ReadHistory(folder, "a.com"));
    }
}
BENCHMARK(BM_ReadHistoryTrim100000)->Unit(benchmark::kMillisecond);

void BM_AppendHistoryLine(benchmark::State& state)
{
    BenchFolder bench;
    const auto folder = bench.folder();
    records::HistoryFields fields;
    fields.indexed = {"830", "880", "0", "97", "156", "40", "311"};
    fields.backlinks = {"45", "12", "0", "3", "0", "0", "8"};
    fields.pageRank.assign(1, '4');
    fields.sogouRating = "23";
    fields.alexaRank = "查询失败";
    fields.chinaRank.assign(1, '0');
    for (auto _ : state)
        records::appendHistoryLine(folder, "a.com", records::formatHistoryLine(fields, "2010-1-6 7:36:31"));
}
BENCHMARK(BM_AppendHistoryLine)->Unit(benchmark::kMicrosecond);

} // namespace
