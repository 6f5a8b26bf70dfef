#include "core/queries/DisplayText.h"

#include "core/fetch/FailureReason.h"
#include "core/queries/KeywordSearch.h"

namespace kaldrani::queries {

std::string boundDisplayText(std::string text)
{
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        // Every byte but a continuation byte starts a character.
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && ++characters > kMaxDisplayChars) {
            text.resize(i);
            text.shrink_to_fit();
            break;
        }
    }
    return text;
}

std::string keywordProgressText(long long page)
{
    return "正在查询第 " + std::to_string(page) + " 页";
}

std::string keywordResultText(SearchEngine engine, const KeywordOutcome& outcome)
{
    if (!outcome.failed())
        return "搜索排名第 " + std::to_string(outcome.value.position) + " 位";
    switch (outcome.failure->kind) {
    case fetch::FailureKind::Blocked: return "被拦截：" + fetch::refusalOf(outcome.failure->reason);
    case fetch::FailureKind::SwitchedOff: return "已关闭";
    case fetch::FailureKind::Retired: return std::string(fetch::kRetiredShown);
    case fetch::FailureKind::Plain: break;
    }
    return std::string(keywordFailureText(engine));
}

} // namespace kaldrani::queries
