#include "core/queries/DisplayText.h"

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

} // namespace kaldrani::queries
