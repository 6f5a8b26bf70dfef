// The floor the program's start-up is read against: a bare Qt Widgets window of the main
// window's size showing one line of Chinese text, so the same CJK font is loaded, and
// nothing else. Measured the same way, through the start-up probe.
#include "gui/FirstPaint.h"
#include "gui/StartupProbe.h"

#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Kaldrani"));
    window.setFixedSize(187, 351);
    auto* label = new QLabel(QStringLiteral("站长工具：收录、反链与排名"), &window);
    label->setFont(QFont({QStringLiteral("Tahoma"), QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("DejaVu Sans")}));
    (new QVBoxLayout(&window))->addWidget(label);
    window.show();
    kaldrani::gui::afterFirstPaint(&window, [] {
        kaldrani::gui::reportShownIfProbed();
        kaldrani::gui::quitIfProbed();
    });
    return QApplication::exec();
}
