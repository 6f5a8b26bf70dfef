#pragma once

#include "core/mail/MailRun.h"

#include <string>
#include <utility>
#include <vector>

namespace kaldrani::mail {

// A send run's view that keeps what the run said, for the tests to read.
class RecordingMailView : public MailView {
public:
    void setStatus(const std::string& text) override { statuses.push_back(text); }
    void setRunning(bool) override { }
    void reportError(const std::string& message) override { errors.push_back(message); }
    void lineFinished(const std::string& line, const std::string& failure) override
    {
        finished.emplace_back(line, failure);
    }
    std::vector<std::string> statuses;
    std::vector<std::string> errors;
    std::vector<std::pair<std::string, std::string>> finished;
};

} // namespace kaldrani::mail
