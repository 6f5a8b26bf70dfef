#include "gui/TrendLoader.h"

#include "core/records/FileIo.h"
#include "core/records/History.h"
#include "core/records/HistoryTrend.h"
#include "core/records/KeywordHistory.h"
#include "core/records/KeywordTrend.h"
#include "gui/ErrorBox.h"
#include "gui/HistoryCsvExport.h"
#include "gui/Placement.h"
#include "gui/SaveFileChooser.h"
#include "gui/ToolWindow.h"

#include <QCoreApplication>
#include <QDir>

#include <dlfcn.h>

#include <stdexcept>
#include <string>

namespace kaldrani::gui {

namespace {

// The library calls into the program, but a program links only what it uses itself: each
// part of it the library calls is named here, so that any program that opens the trend
// window holds it. A test loads the library into the program and names anything missing.
[[gnu::used]] const void* const partsForTheLibrary[] = {
    &ToolWindow::staticMetaObject,
    reinterpret_cast<const void*>(&centreOver),
    reinterpret_cast<const void*>(&chooseSaveFile),
    reinterpret_cast<const void*>(&exportHistoryCsv),
    reinterpret_cast<const void*>(&runHandler),
    reinterpret_cast<const void*>(&kaldrani::records::ReadHistory),
    reinterpret_cast<const void*>(&kaldrani::records::readKeywordHistory),
    reinterpret_cast<const void*>(&kaldrani::records::buildHistoryTrend),
    reinterpret_cast<const void*>(&kaldrani::records::buildKeywordTrend),
    reinterpret_cast<const void*>(&kaldrani::records::fileio::replaceFile),
};

const TrendWindowEntry* loadEntry()
{
    const std::string name = KALDRANI_TREND_LIBRARY;
    void* handle = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    // Installed, the library sits in a private folder beside the programs' own; in the
    // build tree, beside the program. Never from the system's search path, which could hold
    // another build's copy.
    std::string reasons;
    const QDir programDir(QCoreApplication::applicationDirPath());
    for (const QString& folder : {programDir.filePath(QStringLiteral(KALDRANI_TREND_LIBRARY_FROM_BIN)), programDir.path()}) {
        if (handle)
            break;
        const std::string path = QDir(folder).filePath(QString::fromStdString(name)).toStdString();
        handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* why = ::dlerror();
            reasons += std::string("\n") + (why ? why : path);
        }
    }
    if (!handle)
        throw std::runtime_error("无法加载趋势图组件 " + name + "：" + reasons);
    using EntryFunction = const TrendWindowEntry* (*)();
    auto entryFunction = reinterpret_cast<EntryFunction>(::dlsym(handle, kTrendWindowEntrySymbol));
    const TrendWindowEntry* entry = entryFunction ? entryFunction() : nullptr;
    // Kept loaded for good: the window's classes stay registered with Qt once used.
    if (!entry || entry->layout != kTrendWindowEntryLayout)
        throw std::runtime_error("趋势图组件 " + name + " 与本程序的版本不符");
    return entry;
}

const TrendWindowEntry& entry()
{
    static const TrendWindowEntry* loaded = nullptr;
    if (!loaded)
        loaded = loadEntry();
    return *loaded;
}

} // namespace

ToolWindow* createTrendWindow(const kaldrani::records::DataFolder& folder, QWidget* parent)
{
    return entry().create(folder, parent);
}

void showTrendSite(ToolWindow* window, const QString& site)
{
    entry().showSite(window, site);
}

} // namespace kaldrani::gui
