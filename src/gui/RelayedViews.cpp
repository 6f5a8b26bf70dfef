#include "gui/RelayedViews.h"

namespace kaldrani::gui {

void RelayedOverviewView::figureChanged(queries::FigureId id)
{
    m_runner.onWindow([&] { m_window.figureChanged(id); });
}

void RelayedOverviewView::displayCleared()
{
    m_runner.onWindow([&] { m_window.displayCleared(); });
}

void RelayedOverviewView::pageRankChanged()
{
    m_runner.onWindow([&] { m_window.pageRankChanged(); });
}

void RelayedOverviewView::gaugeChanged()
{
    m_runner.onWindow([&] { m_window.gaugeChanged(); });
}

void RelayedOverviewView::alexaRankChanged()
{
    m_runner.onWindow([&] { m_window.alexaRankChanged(); });
}

void RelayedOverviewView::chinaRankChanged()
{
    m_runner.onWindow([&] { m_window.chinaRankChanged(); });
}

void RelayedOverviewView::setUrlText(const std::string& text)
{
    m_runner.onWindow([&] { m_window.setUrlText(text); });
}

void RelayedOverviewView::reportError(const std::string& message)
{
    m_runner.onWindow([&] { m_window.reportError(message); });
}

void RelayedOverviewView::setRunning(bool running)
{
    m_runner.onWindow([&] { m_window.setRunning(running); });
}

void RelayedKeywordView::setResultText(SearchEngine engine, const std::string& text)
{
    m_runner.onWindow([&] { m_window.setResultText(engine, text); });
}

void RelayedKeywordView::setLastPageUrl(SearchEngine engine, const std::string& url)
{
    m_runner.onWindow([&] { m_window.setLastPageUrl(engine, url); });
}

void RelayedKeywordView::setLookupVisible(SearchEngine engine, bool visible)
{
    m_runner.onWindow([&] { m_window.setLookupVisible(engine, visible); });
}

void RelayedKeywordView::setRunning(bool running)
{
    m_runner.onWindow([&] { m_window.setRunning(running); });
}

void RelayedMailView::setStatus(const std::string& text)
{
    m_runner.onWindow([&] { m_window.setStatus(text); });
}

void RelayedMailView::setRunning(bool running)
{
    m_runner.onWindow([&] { m_window.setRunning(running); });
}

void RelayedMailView::lineFinished(const std::string& line, const std::string& failure)
{
    m_runner.onWindow([&] { m_window.lineFinished(line, failure); });
}

void RelayedMailView::reportError(const std::string& message)
{
    m_runner.onWindow([&] { m_window.reportError(message); });
}

} // namespace kaldrani::gui
