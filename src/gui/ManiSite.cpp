#include "gui/ManiSite.h"

#include "gui/ErrorBox.h"
#include "gui/Fonts.h"

#include <QApplication>
#include <QFont>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

#include <string>

TfrmManiSite* frmManiSite = nullptr;

namespace {

// The box reaches x = 188, so the client area is that wide instead of 179.
constexpr int clientWidth = 188;
constexpr int clientHeight = 300;

// The window the site manager is centred over: its parent's window, else the main window.
const QWidget* mainWindowFor(const QWidget* self)
{
    if (const QWidget* parent = self->parentWidget())
        return parent->window();
    for (const QWidget* w : QApplication::topLevelWidgets())
        if (w != self && w->inherits("TfrmMain"))
            return w;
    return nullptr;
}

QString boxText(const std::string& text)
{
    QString box = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    box.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return box;
}

} // namespace

TfrmManiSite::TfrmManiSite(const kaldrani::records::DataFolder& folder, QWidget* parent)
    : QWidget(parent)
    , m_folder(folder)
{
    setWindowFlag(Qt::Window);
    setWindowTitle(QStringLiteral("管理站点"));
    setFixedSize(clientWidth, clientHeight);
    setFont(kaldrani::gui::tahoma(8));

    MoUrl = new QPlainTextEdit(this);
    MoUrl->setObjectName(QStringLiteral("MoUrl"));
    MoUrl->setGeometry(3, 0, 185, 265);
    QFont arial = font();
    arial.setFamilies({ QStringLiteral("Arial"), QStringLiteral("WenQuanYi Micro Hei") });
    MoUrl->setFont(arial);
    MoUrl->setToolTip(QStringLiteral("按行输入网址"));
    MoUrl->setLineWrapMode(QPlainTextEdit::NoWrap);
    MoUrl->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MoUrl->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    brnSave = new QPushButton(QStringLiteral("保  存"), this);
    brnSave->setObjectName(QStringLiteral("brnSave"));
    brnSave->setGeometry(16, 271, 57, 25);
    brnCanc = new QPushButton(QStringLiteral("取 消"), this);
    brnCanc->setObjectName(QStringLiteral("brnCanc"));
    brnCanc->setGeometry(104, 271, 57, 25);

    connect(brnSave, &QPushButton::clicked, this, [this] { runHandler([this] { brnSaveClick(); }, this); });
    connect(brnCanc, &QPushButton::clicked, this, [this] { runHandler([this] { brnCancClick(); }, this); });

    runHandler([this] { FormCreate(); }, this);
}

void TfrmManiSite::FormCreate()
{
    if (!kaldrani::records::siteListExists(m_folder))
        return;
    QStringList lines;
    for (const auto& site : kaldrani::records::loadSiteList(m_folder))
        lines << QString::fromUtf8(site.data(), static_cast<qsizetype>(site.size()));
    MoUrl->setPlainText(lines.join(QLatin1Char('\n')));
}

void TfrmManiSite::brnSaveClick()
{
    const std::string cleaned = kaldrani::records::removeEmptyLines(MoUrl->toPlainText().toStdString());
    const QString shown = boxText(cleaned);
    if (shown != MoUrl->toPlainText())
        MoUrl->setPlainText(shown);
    kaldrani::records::saveSiteList(m_folder, cleaned);
    close();
}

void TfrmManiSite::brnCancClick()
{
    close();
}

void TfrmManiSite::showEvent(QShowEvent* event)
{
    if (!m_placed) {
        m_placed = true;
        QRect over;
        if (const QWidget* main = mainWindowFor(this))
            over = main->frameGeometry();
        else if (const QScreen* screen = this->screen())
            over = screen->availableGeometry();
        if (over.isValid())
            move(over.center() - QPoint(width() / 2, height() / 2));
    }
    QWidget::showEvent(event);
}
