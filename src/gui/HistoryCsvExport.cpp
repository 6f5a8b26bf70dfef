#include "gui/HistoryCsvExport.h"

#include "core/model/SearchEngine.h"
#include "core/records/DataFolder.h"
#include "core/records/FileIo.h"
#include "core/records/HistoryCsv.h"
#include "gui/ErrorBox.h"
#include "gui/SaveFileChooser.h"

#include <QDir>
#include <QFile>

namespace kaldrani::gui {

bool exportHistoryCsv(QWidget* parent, const QString& site, const std::vector<std::vector<std::string>>& records)
{
    const QString suggested = QDir::home().filePath(site + QStringLiteral(".csv"));
    const QString path = chooseSaveFile(parent, QStringLiteral("导出 CSV"), suggested,
                                        QStringLiteral("CSV 文件 (*.csv);;所有文件 (*)"));
    if (path.isEmpty())
        return false;
    // Spreadsheet programs on Chinese systems take a file without the mark for GBK.
    const std::string bytes = std::string(kaldrani::records::kUtf8ByteOrderMark)
                              + kaldrani::records::historyCsv(records, kaldrani::kEngineLabels);
    try {
        kaldrani::records::fileio::replaceFile(QFile::encodeName(path).toStdString(), bytes);
    } catch (const kaldrani::records::FileError& e) {
        showApplicationError(QString::fromUtf8(e.what()), parent);
        return false;
    }
    return true;
}

} // namespace kaldrani::gui
