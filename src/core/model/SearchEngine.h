#pragma once

#include <array>
#include <cstddef>
#include <string_view>
#include <utility>

namespace kaldrani {

// The seven engines, always in this order: grids, records, check boxes and result boxes
// follow it.
enum class SearchEngine { Baidu, Google, Yahoo, Sogou, Soso, Youdao, Bing };

// How many engines there are.
inline constexpr std::size_t kEngineCount = 7;

// One T per engine, indexed by engineIndex, in engine order.
template <class T>
using PerEngine = std::array<T, kEngineCount>;

// The engine's place in engine order, from 0.
constexpr std::size_t engineIndex(SearchEngine e) { return static_cast<std::size_t>(e); }

static_assert(engineIndex(SearchEngine::Bing) + 1 == kEngineCount, "kEngineCount counts every engine");

// A per-engine table of exactly one entry per engine, in engine order. A brace list that
// is one short would leave the last engine an empty entry; this fails the build instead.
template <class T, class... Entries>
constexpr PerEngine<T> perEngine(Entries&&... entries)
{
    static_assert(sizeof...(Entries) == kEngineCount, "a per-engine table needs one entry per engine");
    return {T(std::forward<Entries>(entries))...};
}

inline constexpr PerEngine<SearchEngine> kSearchEngines = perEngine<SearchEngine>(
    SearchEngine::Baidu, SearchEngine::Google, SearchEngine::Yahoo, SearchEngine::Sogou, SearchEngine::Soso,
    SearchEngine::Youdao, SearchEngine::Bing);

// The engines' Chinese labels, as the grids show them, in engine order.
inline constexpr PerEngine<std::string_view> kEngineLabels =
    perEngine<std::string_view>("百度", "谷歌", "雅虎", "搜狗", "搜搜", "有道", "必应");

// The engines' names where a person types them or a program reads them (command lines,
// the stand-in's pages), in engine order.
inline constexpr PerEngine<std::string_view> kEngineKeys =
    perEngine<std::string_view>("baidu", "google", "yahoo", "sogou", "soso", "youdao", "bing");

// The engine's Chinese label.
constexpr std::string_view engineLabel(SearchEngine e)
{
    return kEngineLabels[engineIndex(e)];
}

// The engine's row in the result grid (Baidu 1 .. Bing 7).
constexpr int engineRow(SearchEngine e) { return static_cast<int>(e) + 1; }

} // namespace kaldrani
