#pragma once

#include <string_view>

namespace kaldrani::standin {

class StandinServer;

// Makes services fail from now on, to show how the program reports a failed query.
// Takes a comma-separated list of NAME or NAME:HOW; NAME is baidu, google, yahoo, sogou,
// soso, youdao, bing, pagerank, alexa or chinarank; HOW is http (a 503 answer, the
// default), empty (an empty page: no figure, an empty Alexa reply), slow (no answer for
// 5 seconds), verify (a verification page) or 429 (Too Many Requests, Retry-After: 120).
// Raises std::invalid_argument naming an unknown NAME or HOW.
void failServices(StandinServer& server, std::string_view list);

} // namespace kaldrani::standin
