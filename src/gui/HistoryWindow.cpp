#include "gui/HistoryWindow.h"

#include "core/records/History.h"
#include "gui/ErrorBox.h"
#include "gui/Fonts.h"
#include "gui/HistoryTableModel.h"
#include "gui/HistoryTrendAccess.h"
#include "gui/Placement.h"

#include <QAbstractButton>
#include <QEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QListWidget>
#include <QScrollBar>
#include <QStyleOptionHeader>
#include <QStylePainter>
#include <QTableView>

#include <array>
#include <exception>

namespace kaldrani::gui {

using kaldrani::gui::fromUtf8;

namespace {

constexpr int clientWidth = 742;
constexpr int clientHeight = 481;
constexpr int rowHeight = 20;
constexpr int defaultColumnWidth = 85;

// The headings: the number, "<engine>/反链" per engine, then these.
constexpr int kFirstRankColumn = 1 + static_cast<int>(kEngineCount);
const char* const trailingHeadings[] = {"PageRank", "SogouRank", "AlexaRank", "ChinaRank", "查询时间"};
static_assert(kFirstRankColumn + std::size(trailingHeadings) == HistoryTableModel::ColCount);

QString headingOf(int col)
{
    if (col == 0)
        return QStringLiteral("序号");
    if (col < kFirstRankColumn)
        return fromUtf8(kEngineLabels[static_cast<std::size_t>(col - 1)]) + QStringLiteral("/反链");
    return QString::fromUtf8(trailingHeadings[col - kFirstRankColumn]);
}

// The engine columns keep the default width.
struct ColumnWidth { int col; int width; };
const ColumnWidth columnWidths[] = {
    {kFirstRankColumn, 65}, {kFirstRankColumn + 1, 70}, {kFirstRankColumn + 2, 65}, {kFirstRankColumn + 3, 65},
    {kFirstRankColumn + 4, 150},
};

// The view's corner button stands where cell (0, 0) is; it draws that cell's text as a heading.
class CornerHeading : public QObject {
public:
    CornerHeading(QAbstractButton* corner, const HistoryTableModel* cells)
        : QObject(corner)
        , m_cells(cells)
    {
        corner->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Paint)
            return false;
        auto* corner = static_cast<QAbstractButton*>(watched);
        QStyleOptionHeader option;
        // The button is disabled so that a click selects nothing; the heading looks enabled.
        option.initFrom(corner->parentWidget());
        option.state |= QStyle::State_Raised;
        option.rect = corner->rect();
        option.position = QStyleOptionHeader::OnlyOneSection;
        option.textAlignment = Qt::AlignLeft | Qt::AlignVCenter;
        option.text = m_cells->cell(0, 0);
        QStylePainter painter(corner);
        painter.drawControl(QStyle::CE_Header, option);
        return true;
    }

private:
    const HistoryTableModel* m_cells;
};

} // namespace

HistoryWindow::HistoryWindow(const kaldrani::records::DataFolder& folder, QWidget* parent)
    : ToolWindow(parent, kaldrani::gui::TitleBar::Plain, QStringLiteral(" 查询记录"), {clientWidth, clientHeight})
    , m_folder(folder)
{
    centreOnFirstShow();

    m_siteList = new QListWidget(this);
    m_siteList->setObjectName(QStringLiteral("siteList"));
    m_siteList->setGeometry(8, 8, 161, 465);
    m_siteList->setSelectionMode(QAbstractItemView::SingleSelection);

    m_cells = new HistoryTableModel(this);
    m_grid = new QTableView(this);
    m_grid->setObjectName(QStringLiteral("historyGrid"));
    m_grid->setGeometry(175, 8, 537, 440);
    m_grid->setModel(m_cells);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setWordWrap(false);
    m_grid->setTextElideMode(Qt::ElideNone);
    m_grid->setCornerButtonEnabled(false);
    m_grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    QHeaderView* top = m_grid->horizontalHeader();
    top->setMinimumSectionSize(1);
    top->setDefaultSectionSize(defaultColumnWidth);
    top->setSectionResizeMode(QHeaderView::Fixed);
    top->setSectionsClickable(false);
    top->setHighlightSections(false);
    top->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    top->setTextElideMode(Qt::ElideNone);
    top->setFixedHeight(rowHeight);

    QHeaderView* side = m_grid->verticalHeader();
    side->setMinimumSectionSize(1);
    side->setDefaultSectionSize(rowHeight);
    side->setSectionResizeMode(QHeaderView::Fixed);
    side->setSectionsClickable(false);
    side->setHighlightSections(false);
    side->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    side->setTextElideMode(Qt::ElideNone);

    if (auto* corner = m_grid->findChild<QAbstractButton*>())
        new CornerHeading(corner, m_cells);

    m_gridHorizontalBar = new QScrollBar(Qt::Horizontal, this);
    m_gridHorizontalBar->setObjectName(QStringLiteral("gridHorizontalBar"));
    // 542 wide, not 555: the full width would run under the vertical bar and hide an arrow.
    m_gridHorizontalBar->setGeometry(175, 456, 542, 19);
    m_gridVerticalBar = new QScrollBar(Qt::Vertical, this);
    m_gridVerticalBar->setObjectName(QStringLiteral("gridVerticalBar"));
    m_gridVerticalBar->setGeometry(717, 8, 19, 464);
    linkScrollBar(m_grid->horizontalScrollBar(), m_gridHorizontalBar);
    linkScrollBar(m_grid->verticalScrollBar(), m_gridVerticalBar);

    connect(m_siteList, &QListWidget::itemClicked, this, [this] { runHandler([this] { onSiteClicked(); }, this); });
    // The keyboard moves the selection without a click; a mouse press does too, but its
    // click follows and is handled above.
    // Not on a mere change of the current row: focus coming in makes a row current without
    // selecting it, which is no choice of the user's.
    connect(m_siteList, &QListWidget::itemSelectionChanged, this, [this] {
        if (m_loadingList || m_siteList->selectedItems().isEmpty() || QGuiApplication::mouseButtons() != Qt::NoButton)
            return;
        runHandler([this] { onSiteClicked(); }, this);
    });

    runHandler([this] { initialise(); }, this);
    attachTrendAccess(this, m_folder);
}

void HistoryWindow::linkScrollBar(QScrollBar* own, QScrollBar* shown)
{
    auto copyRange = [own, shown] {
        shown->setRange(own->minimum(), own->maximum());
        shown->setPageStep(own->pageStep());
        shown->setSingleStep(own->singleStep());
        shown->setValue(own->value());
    };
    connect(own, &QScrollBar::rangeChanged, shown, copyRange);
    connect(own, &QScrollBar::valueChanged, shown, &QScrollBar::setValue);
    connect(shown, &QScrollBar::valueChanged, own, &QScrollBar::setValue);
    copyRange();
}

void HistoryWindow::initialise()
{
    m_siteListWatch.changed();
    if (kaldrani::records::siteListExists(m_folder))
        loadSiteList();
    initialiseGrid();
}

void HistoryWindow::onActivated()
{
    // An unchanged list is not read again: nor is a refused one reported again, for
    // instance on the activation its own error box gives back.
    if (!m_siteListWatch.changed())
        return;
    try {
        loadSiteList();
    } catch (const std::exception& e) {
        showApplicationError(QString::fromUtf8(e.what()), this);
    }
}

void HistoryWindow::loadSiteList()
{
    m_loadingList = true;
    m_siteList->clear();
    m_loadingList = false;
    const auto sites = kaldrani::records::loadSiteList(m_folder);
    QStringList items;
    items.reserve(static_cast<qsizetype>(sites.size()));
    for (const auto& site : sites)
        items << fromUtf8(site);
    m_loadingList = true;
    m_siteList->addItems(items);
    m_siteList->setCurrentRow(-1);
    m_loadingList = false;
}

void HistoryWindow::initialiseGrid()
{
    m_grid->verticalHeader()->setFixedWidth(30);
    for (const auto& c : columnWidths)
        m_grid->horizontalHeader()->resizeSection(c.col - 1, c.width);
    for (int col = 0; col < HistoryTableModel::ColCount; ++col)
        m_cells->setCell(col, 0, headingOf(col));
    for (int row = 1; row < HistoryTableModel::RowCount; ++row)
        m_cells->setCell(0, row, QString::number(row));
}

void HistoryWindow::clearGrid()
{
    m_cells->clearData();
    m_shownSite.clear();
}

void HistoryWindow::onSiteClicked()
{
    if (!m_cells->cell(1, 1).isEmpty())
        clearGrid();
    // Every failure from here on is silent: the grid keeps what it holds.
    try {
        const auto selected = m_siteList->selectedItems();
        if (selected.isEmpty())
            return;
        m_cells->putRecords(kaldrani::records::ReadHistory(m_folder, selected.front()->text().toStdString()));
        m_shownSite = selected.front()->text();
    } catch (const std::exception&) {
    }
}

bool HistoryWindow::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        runHandler([this] { onActivated(); }, this);
    return ToolWindow::event(event);
}

} // namespace kaldrani::gui
