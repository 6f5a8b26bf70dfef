#pragma once

#include <array>
#include <string_view>

namespace kaldrani {

// The seven engines, always in this order: grids, records, check boxes and result boxes
// follow it.
enum class SearchEngine { Baidu, Google, Yahoo, Sogou, Soso, Youdao, Bing };

inline constexpr std::array<SearchEngine, 7> kSearchEngines = {
    SearchEngine::Baidu, SearchEngine::Google, SearchEngine::Yahoo, SearchEngine::Sogou,
    SearchEngine::Soso, SearchEngine::Youdao, SearchEngine::Bing,
};

// The engines' Chinese labels, as the grids show them, in engine order.
inline constexpr std::array<std::string_view, 7> kEngineLabels = {"百度", "谷歌", "雅虎", "搜狗", "搜搜", "有道", "必应"};

// The engine's Chinese label.
constexpr std::string_view engineLabel(SearchEngine e)
{
    return kEngineLabels[static_cast<int>(e)];
}

// The engine's row in the result grid (Baidu 1 .. Bing 7).
constexpr int engineRow(SearchEngine e) { return static_cast<int>(e) + 1; }

// Pages of the site in the engine's index, or pages linking to it.
enum class CountKind { Indexed, Backlinks };

} // namespace kaldrani
