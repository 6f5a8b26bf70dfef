#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace kaldrani::gui {

// Asks the user where to save a file: the suggested name first, the chosen path back, or
// an empty text when the user cancels.
QString chooseSaveFile(QWidget* parent, const QString& caption, const QString& suggested, const QString& filter);

// Replaces the dialog for tests: chooser gets the suggested name and returns the answer.
// An empty function restores the real dialog.
void setSaveFileChooser(std::function<QString(const QString& suggested)> chooser);

} // namespace kaldrani::gui
