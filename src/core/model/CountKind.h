#pragma once

#include "core/model/SearchEngine.h"

#include <array>
#include <cstddef>
#include <string_view>

namespace kaldrani {

// Pages of the site in the engine's index, or pages linking to it.
enum class CountKind { Indexed, Backlinks };

// The kinds in their order (Indexed before Backlinks for each engine), and how many counts
// there are in all.
inline constexpr std::array<CountKind, 2> kCountKinds = {CountKind::Indexed, CountKind::Backlinks};
inline constexpr std::size_t kCountCount = kEngineCount * kCountKinds.size();

// The kind's place in kind order, from 0.
constexpr std::size_t kindIndex(CountKind k) { return static_cast<std::size_t>(k); }

// The kinds' headings, as the grid shows them, in kind order.
inline constexpr std::array<std::string_view, 2> kCountKindLabels = {"收录情况", "反向链接"};

} // namespace kaldrani
