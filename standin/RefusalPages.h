#pragma once

#include "StandinServer.h"

#include <optional>
#include <string_view>

namespace kaldrani::standin {

// What the stand-in's verification page says; a profile's blocked marker can match it.
inline constexpr std::string_view kVerificationPhrase = "请输入验证码";

// A page a search engine shows a client it takes for a robot: 200, GBK, a form asking for
// the characters of a picture, and no results.
Response verificationPage();

// A refusal by status: 429 Too Many Requests, Retry-After: 120.
Response tooManyRequests();

// The refusal `how` names ("verify" or "429"), or nothing for another name.
std::optional<Response> refusal(std::string_view how);

} // namespace kaldrani::standin
