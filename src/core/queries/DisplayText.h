#pragma once

#include "core/model/SearchEngine.h"
#include "core/queries/KeywordResult.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace kaldrani::queries {

// The most characters a count or rank text cut out of a page keeps. Real ones are a few
// digits or a short phrase; a page that matches megabytes must not reach the display, the
// output or the history.
inline constexpr std::size_t kMaxDisplayChars = 1024;

// The text cut after kMaxDisplayChars characters, never inside a UTF-8 character.
// Takes valid UTF-8; returns it unchanged when short enough.
std::string boundDisplayText(std::string text);

// What an engine's result box shows for an engine the run did not ask.
inline constexpr std::string_view kKeywordNotSelected = "未选择";

// "正在查询第 N 页": the result box while the engine's scan asks result page N.
std::string keywordProgressText(long long page);

// What an engine's result box shows for its scan's outcome: "搜索排名第 N 位" (N = 0 when
// not found), the engine's failure text (keywordFailureText) for a failure, "被拦截：" and
// the refusal for a refusal, "已关闭" for an engine switched off, "已停用" for a retired one.
std::string keywordResultText(SearchEngine engine, const KeywordOutcome& outcome);

} // namespace kaldrani::queries
