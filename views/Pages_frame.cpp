#include "views/Pages_frame.h"

#include "core/Computer.h"
#include "core/Hex_text.h"
#include "core/Memory.h"

#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>

TPagesF::TPagesF(QWidget* owner, TComputer* computer)
    : TViewF(owner)
    , Computer(computer)
{
    DrawGrid1 = new QTableWidget(SlotCount, 3, this);
    DrawGrid1->setHorizontalHeaderLabels({QStringLiteral("Address"), QStringLiteral("Page"), QStringLiteral("Access")});
    DrawGrid1->verticalHeader()->hide();  // no fixed column
    DrawGrid1->setShowGrid(true);
    DrawGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    DrawGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    DrawGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DrawGrid1->horizontalHeader()->setStretchLastSection(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(DrawGrid1);

    PreferredWidth = 500;
    PreferredHeight = 200;
    UpdateView();
}

TPagesF::~TPagesF() = default;

QString TPagesF::PageText(int slot) const
{
    const TMemory* memory = Computer ? Computer->Memory : nullptr;
    const i32 page = memory ? memory->GetSlotPageNumber(slot) : -1;
    if (page < 0)
        return QStringLiteral("none");
    static const char* const romNames[] = {"ROM 48 BASIC", "ROM 128", "ROM Disk Interface", "ROM"};
    for (i32 romSlot = 0; romSlot < 4; ++romSlot)
        if (memory->GetRomPage(romSlot) == page)
            return QString::fromLatin1(romNames[romSlot]);
    if (memory->GetModel() == TMemory::Model128)
        return QStringLiteral("RAM bank %1").arg(page);
    return QStringLiteral("RAM");
}

void TPagesF::UpdateView()
{
    const TMemory* memory = Computer ? Computer->Memory : nullptr;
    for (int slot = 0; slot < SlotCount; ++slot) {
        const u16 address = static_cast<u16>(slot * 0x4000);
        const i32 page = memory ? memory->GetSlotPageNumber(slot) : -1;
        bool rom = false;
        for (i32 romSlot = 0; romSlot < 4 && page >= 0; ++romSlot)
            rom = rom || memory->GetRomPage(romSlot) == page;
        const QString cells[] = {
            QString::fromStdString(HexWord(address)) + QStringLiteral("-") +
                QString::fromStdString(HexWord(static_cast<u16>(address + 0x3FFF))),
            PageText(slot),
            page < 0 ? QString() : rom ? QStringLiteral("read only") : QStringLiteral("read/write"),
        };
        for (int column = 0; column < 3; ++column) {
            QTableWidgetItem* item = DrawGrid1->item(slot, column);
            if (!item) {
                item = new QTableWidgetItem;
                DrawGrid1->setItem(slot, column, item);
            }
            item->setText(cells[column]);
        }
    }
}
