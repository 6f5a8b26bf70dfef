#include "gui/SaveFileChooser.h"

#include <QFileDialog>

namespace kaldrani::gui {

namespace {

std::function<QString(const QString&)>& replacement()
{
    static std::function<QString(const QString&)> chooser;
    return chooser;
}

} // namespace

QString chooseSaveFile(QWidget* parent, const QString& caption, const QString& suggested, const QString& filter)
{
    if (replacement())
        return replacement()(suggested);
    return QFileDialog::getSaveFileName(parent, caption, suggested, filter);
}

void setSaveFileChooser(std::function<QString(const QString& suggested)> chooser)
{
    replacement() = std::move(chooser);
}

} // namespace kaldrani::gui
