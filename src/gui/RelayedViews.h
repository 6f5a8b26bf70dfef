#pragma once

#include "core/mail/MailRun.h"
#include "core/queries/KeywordSearch.h"
#include "core/queries/SiteOverviewRun.h"
#include "gui/Runner.h"

namespace kaldrani::gui {

// A run's view on a runner thread: each call reaches the window's own view on the
// user-interface thread, through the runner, in order. No events are pumped: the window's
// thread is free throughout.

class RelayedOverviewView final : public queries::OverviewView {
public:
    RelayedOverviewView(Runner& runner, queries::OverviewView& window) : m_runner(runner), m_window(window) { }
    void figureChanged(queries::FigureId id) override;
    void displayCleared() override;
    void pageRankChanged() override;
    void gaugeChanged() override;
    void alexaRankChanged() override;
    void chinaRankChanged() override;
    void setUrlText(const std::string& text) override;
    void reportError(const std::string& message) override;
    void setRunning(bool running) override;
    void processPendingEvents() override { }

private:
    Runner& m_runner;
    queries::OverviewView& m_window;
};

class RelayedKeywordView final : public queries::KeywordView {
public:
    RelayedKeywordView(Runner& runner, queries::KeywordView& window) : m_runner(runner), m_window(window) { }
    void setResultText(SearchEngine engine, const std::string& text) override;
    void setLastPageUrl(SearchEngine engine, const std::string& url) override;
    void setLookupVisible(SearchEngine engine, bool visible) override;
    void setRunning(bool running) override;
    void processPendingEvents() override { }

private:
    Runner& m_runner;
    queries::KeywordView& m_window;
};

class RelayedMailView final : public mail::MailView {
public:
    RelayedMailView(Runner& runner, mail::MailView& window) : m_runner(runner), m_window(window) { }
    void setStatus(const std::string& text) override;
    void setRunning(bool running) override;
    void reportError(const std::string& message) override;
    void lineFinished(const std::string& line, const std::string& failure) override;
    void processPendingEvents() override { }

private:
    Runner& m_runner;
    mail::MailView& m_window;
};

} // namespace kaldrani::gui
