#pragma once

#include <string>
#include <string_view>

namespace kaldrani::text {

// Text made safe inside markup (HTML, XML, a notification body): "&", "<", ">" and '"'
// become their entities, so nothing in it can open a tag or end an attribute.
std::string escapeMarkup(std::string_view text);

} // namespace kaldrani::text
