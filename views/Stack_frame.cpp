#include "views/Stack_frame.h"

#include "core/Computer.h"
#include "core/Data_array.h"
#include "core/Z80.h"
#include "platform/Application.h"
#include "platform/System_metrics.h"
#include "views/Debugger_views.h"
#include "views/View_paint_box.h"

#include <QLayout>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

TStackF::TStackF(QWidget* owner, TZ80* cpu, std::unique_ptr<TDataArray> data, TComputer* computer)
    : TViewF(owner)
    , Cpu(cpu)
    , Data(std::move(data))
    , Computer(computer)
{
    PreferredWidth = 115;
    PreferredHeight = 215;

    auto* box = new TViewPaintBox(this, QStringLiteral("StackPB"));
    box->OnPaint = [this] { StackPBPaint(); };
    StackPB = box;
    VertScrollBar = AddVertScrollBar(this, StackPB);
    VertScrollBar->setSingleStep(RowHeight);

    UpdateScrollRange();
    UpdateView();
}

TStackF::~TStackF() = default;

i64 TStackF::ListRows() const
{
    return (Data ? Data->GetSize() : 0) / 2 + 15;
}

u16 TStackF::RowAddress(i64 row) const
{
    const i64 size = Data && Data->GetSize() > 0 ? Data->GetSize() : 0x10000;
    i64 address = ((row - RowsAboveSP) * 2 + Parity) % size;
    if (address < 0)
        address += size;
    return static_cast<u16>(address);
}

int TStackF::ClientHeight() const
{
    return StackPB->height();
}

void TStackF::UpdateScrollRange()
{
    const i64 total = ListRows() * RowHeight;
    VertScrollBar->setRange(0, static_cast<int>(std::max<i64>(0, total - ClientHeight())));
    VertScrollBar->setPageStep(std::max(RowHeight, ClientHeight()));
}

void TStackF::resizeEvent(QResizeEvent* event)
{
    TViewF::resizeEvent(event);
    if (layout())
        layout()->activate();
    UpdateScrollRange();
}

int TStackF::GetScrollPosition() const
{
    return VertScrollBar->value();
}

void TStackF::SetScrollPosition(int pixels)
{
    UpdateScrollRange();
    VertScrollBar->setValue(std::clamp(pixels, 0, VertScrollBar->maximum()));
    StackPB->update();
}

void TStackF::UpdateView()
{
    {
        auto pause = PauseMachine(Computer);
        SP = Cpu->SP;
    }
    Parity = static_cast<u8>(SP & 1);
    // SP's row is row SP / 2 + 5: sixth from the top.
    SetScrollPosition((SP >> 1) * RowHeight);
}

void TStackF::MouseWheelDown(Qt::KeyboardModifiers, const QPoint&, bool& handled)
{
    SetScrollPosition(GetScrollPosition() + WheelRows * RowHeight);
    handled = true;
}

void TStackF::MouseWheelUp(Qt::KeyboardModifiers, const QPoint&, bool& handled)
{
    SetScrollPosition(GetScrollPosition() - WheelRows * RowHeight);
    handled = true;
}

std::vector<TStackF::TRow> TStackF::VisibleRows() const
{
    std::vector<TRow> rows;
    const i64 top = GetScrollPosition() / RowHeight;
    const i64 last = std::min<i64>(top + ClientHeight() / RowHeight + 1, ListRows() - 1);
    for (i64 r = top; r <= last; ++r) {
        const u16 address = RowAddress(r);
        rows.push_back({r, address, address == SP});
    }
    return rows;
}

void TStackF::StackPBPaint()
{
    QPainter painter(StackPB);
    painter.fillRect(StackPB->rect(), SystemColors::ButtonFace());
    if (!Data)
        return;
    painter.setPen(SystemColors::ButtonText());
    const QFont regular = ViewFont(false);
    const QFont bold = ViewFont(true);
    const int ascent = QFontMetrics(regular).ascent();
    const int position = GetScrollPosition();
    // Memory is read between two instructions of a run.
    auto pause = PauseMachine(Computer);
    for (const TRow& row : VisibleRows()) {
        const int y = static_cast<int>(row.Row * RowHeight - position) + ascent;
        painter.setFont(row.Bold ? bold : regular);
        painter.drawText(4, y, QString::fromStdString(Data->GetAddressText(row.Address)));
        painter.drawText(40, y, QString::fromStdString(Data->GetWordText(row.Address)));
    }
}
