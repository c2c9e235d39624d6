#include "views/Memory_frame.h"

#include "core/Computer.h"
#include "core/Data_array.h"
#include "platform/Application.h"
#include "platform/System_metrics.h"
#include "views/Debugger_views.h"
#include "views/Load_dump.h"
#include "views/Save_dump.h"
#include "views/View_paint_box.h"

#include <QAction>
#include <QActionGroup>
#include <QLayout>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>

#include <algorithm>

TMemoryF::TMemoryF(QWidget* owner, TComputer* computer, std::unique_ptr<TDataArray> data)
    : TViewF(owner)
    , Computer(computer)
    , Data(std::move(data))
{
    PreferredWidth = 371;
    PreferredHeight = 414;

    auto* box = new TViewPaintBox(this, QStringLiteral("MemoryPB"));
    box->OnPaint = [this] { MemoryPBPaint(); };
    box->OnMouseDown = [this](Qt::MouseButton button, const QPoint& point) { MemoryPBMouseDown(button, point); };
    box->OnDblClick = [this](const QPoint& point) { MemoryPBDblClick(point); };
    MemoryPB = box;
    VertScrollBar = AddVertScrollBar(this, MemoryPB);

    MemoryDumpPM = new QMenu(this);
    MemoryDumpPM->setObjectName(QStringLiteral("MemoryDumpPM"));
    box->PopupMenu = MemoryDumpPM;
    GotoAddressMI = AddItem("GotoAddressMI", "&Goto Address...", QKeySequence(Qt::CTRL | Qt::Key_G));
    SaveDumpMI = AddItem("SaveDumpMI", "&Save dump...", QKeySequence(Qt::CTRL | Qt::Key_S));
    LoadDumpMI = AddItem("LoadDumpMI", "&Load dump...", QKeySequence(Qt::CTRL | Qt::Key_L));
    connect(GotoAddressMI, &QAction::triggered, this, Guard([this] { GotoAddressMIClick(); }));
    connect(SaveDumpMI, &QAction::triggered, this, Guard([this] { SaveDumpMIClick(); }));
    connect(LoadDumpMI, &QAction::triggered, this, Guard([this] { LoadDumpMIClick(); }));

    // The dump is shown as bytes only: the other forms are not offered yet.
    QMenu* viewAs = MemoryDumpPM->addMenu(QStringLiteral("View As"));
    auto* group = new QActionGroup(viewAs);
    for (const char* caption : {"Bytes", "Chars", "Bytes && Chars", "Words", "Small Pixels", "Big Pixels", "Basic"}) {
        QAction* item = viewAs->addAction(QString::fromLatin1(caption));
        item->setCheckable(true);
        item->setChecked(group->actions().isEmpty());
        item->setEnabled(false);
        group->addAction(item);
    }

    UpdateScrollRange();
}

TMemoryF::~TMemoryF() = default;

QAction* TMemoryF::AddItem(const char* name, const char* caption, const QKeySequence& shortcut)
{
    auto* action = new QAction(QString::fromLatin1(caption), this);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(shortcut);
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(action);
    MemoryDumpPM->addAction(action);
    return action;
}

// ---------------------------------------------------------------------------
// Scrolling

int TMemoryF::ClientHeight() const
{
    return MemoryPB->height();
}

void TMemoryF::UpdateScrollRange()
{
    const int size = Data ? Data->GetSize() : 0;
    VertScrollBar->setRange(0, std::max(0, size - ClientHeight()));
    const int cells = CellsPerRow(MemoryPB->width());
    VertScrollBar->setSingleStep(cells);
    VertScrollBar->setPageStep(std::max(cells, ClientHeight() / RowHeight * cells));
}

void TMemoryF::resizeEvent(QResizeEvent* event)
{
    TViewF::resizeEvent(event);
    if (layout())
        layout()->activate();
    UpdateScrollRange();
}

u32 TMemoryF::GetTop() const
{
    return static_cast<u32>(VertScrollBar->value());
}

void TMemoryF::SetTop(u32 address)
{
    UpdateScrollRange();
    VertScrollBar->setValue(static_cast<int>(std::min<u32>(address, u32(VertScrollBar->maximum()))));
    MemoryPB->update();
}

void TMemoryF::Scroll(int rows)
{
    const i64 top = i64(GetTop()) + i64(rows) * CellsPerRow(MemoryPB->width());
    SetTop(static_cast<u32>(std::max<i64>(0, top)));
}

void TMemoryF::MouseWheelDown(Qt::KeyboardModifiers, const QPoint&, bool& handled)
{
    Scroll(WheelRows);
    handled = true;
}

void TMemoryF::MouseWheelUp(Qt::KeyboardModifiers, const QPoint&, bool& handled)
{
    Scroll(-WheelRows);
    handled = true;
}

// ---------------------------------------------------------------------------
// Painting

int TMemoryF::CellsPerRow(int width)
{
    // Cell c + 1 follows while its right edge, 42 + 20 c + 40, is left of
    // the width.
    int cells = 1;
    while (CellsX + CellWidth * (cells - 1) + 2 * CellWidth < width)
        ++cells;
    return cells;
}

std::vector<u32> TMemoryF::RowAddresses() const
{
    std::vector<u32> rows;
    const u32 cells = u32(CellsPerRow(MemoryPB->width()));
    u32 a = GetTop();
    for (int i = 0; RowHeight * i < ClientHeight(); ++i) {
        rows.push_back(a);
        a += cells;
    }
    return rows;
}

void TMemoryF::UpdateView()
{
    MemoryPB->update();
}

void TMemoryF::MemoryPBPaint()
{
    QPainter painter(MemoryPB);
    painter.fillRect(MemoryPB->rect(), SystemColors::ButtonFace());
    if (!Data)
        return;
    painter.setFont(ViewFont(false));
    painter.setPen(SystemColors::ButtonText());
    const int cells = CellsPerRow(MemoryPB->width());
    const int ascent = painter.fontMetrics().ascent();
    // Memory is read between two instructions of a run.
    auto pause = PauseMachine(Computer);
    const std::vector<u32> rows = RowAddresses();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const int y = RowHeight * int(i) + ascent;
        u32 a = rows[i];
        painter.drawText(4, y, QString::fromStdString(Data->GetAddressText(static_cast<u16>(a))));
        for (int c = 0; c < cells; ++c, ++a)
            painter.drawText(CellsX + CellWidth * c, y, QString::fromStdString(Data->GetByteText(static_cast<u16>(a))));
    }
}

// ---------------------------------------------------------------------------
// Mouse and menu

void TMemoryF::MemoryPBMouseDown(Qt::MouseButton, const QPoint& point)
{
    SetActive();
    AddressColumn = point.x() < AddressColumnWidth;
}

void TMemoryF::MemoryPBDblClick(const QPoint& point)
{
    // Qt delivers the double click in place of its second press.
    MemoryPBMouseDown(Qt::LeftButton, point);
    if (AddressColumn)
        GotoAddressMIClick();
}

void TMemoryF::GotoAddressMIClick()
{
    if (const std::optional<u16> address = AskGotoAddress(this, Computer))
        SetTop(*address);
}

void TMemoryF::SaveDumpMIClick()
{
    if (SaveDumpF)
        SaveDumpF->Execute(Data.get(), Computer);
}

void TMemoryF::LoadDumpMIClick()
{
    if (!LoadDumpF)
        return;
    const QPointer<TMemoryF> self(this);
    LoadDumpF->Execute(Data.get(), Computer);
    // Every view that paints memory shows the loaded bytes.
    if (self)
        RepaintViews();
}
