#include "views/Z80_frame.h"

#include "core/Computer.h"
#include "core/Hex_text.h"
#include "core/Settings.h"
#include "platform/Application.h"
#include "platform/System_metrics.h"
#include "views/Debugger_views.h"
#include "views/Expression_form.h"
#include "views/View_paint_box.h"

#include <QAction>
#include <QFontMetricsF>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

// ---------------------------------------------------------------------------
// Fields

int TZ80F::CharAdvance()
{
    int advance = 0;
    for (bool bold : {false, true}) {
        const QFontMetricsF metrics(ViewFont(bold));
        for (QChar c : QStringLiteral("0123456789ABCDEF=-'"))
            advance = std::max(advance, int(std::ceil(metrics.horizontalAdvance(c))));
    }
    return std::max(advance, 1);
}

int TZ80F::FieldChars(i32 kind, const QString& label)
{
    switch (kind) {
    case KindWord: return int(label.size()) + 4;    // "PC 8000"
    case KindByte: return int(label.size()) + 2;    // "I 3F"
    case KindDword: return int(label.size()) + 6;   // "T=-12345"
    case KindFlag: return int(label.size()) + 2;    // "S=1", "IFF1=0"
    case KindIM: return int(label.size()) + 2;      // "IM=1"
    default: return int(label.size()) + 10;         // "TM=1234567890"
    }
}

QRect TZ80F::TZ80Field::Rect() const
{
    return QRect(QPoint(X + 1, Y + 3), QPoint(X + Width() - 1, Y + 14));
}

u32 TZ80F::ReadPlace(const TZ80& cpu, i32 place)
{
    switch (place) {
    case PlacePC: return cpu.PC;
    case PlaceSP: return cpu.SP;
    case PlaceIX: return cpu.IX.W;
    case PlaceIY: return cpu.IY.W;
    case PlaceHL: return cpu.HL.W;
    case PlaceDE: return cpu.DE.W;
    case PlaceBC: return cpu.BC.W;
    case PlaceAF: return cpu.AF.W;
    case PlaceAltHL: return cpu.AltHL.W;
    case PlaceAltDE: return cpu.AltDE.W;
    case PlaceAltBC: return cpu.AltBC.W;
    case PlaceAltAF: return cpu.AltAF.W;
    case PlaceF: return cpu.AF.Lo();
    case PlaceI: return cpu.I;
    case PlaceR: return cpu.R;
    case PlaceIFF1: return cpu.IFF1;
    case PlaceIFF2: return cpu.IFF2;
    case PlaceTact: return static_cast<u32>(cpu.Tact);
    case PlaceIM: return cpu.IM;
    default: return 0;
    }
}

void TZ80F::WritePlace(TZ80& cpu, i32 place, u32 value)
{
    const u16 word = static_cast<u16>(value);
    const u8 byte = static_cast<u8>(value);
    switch (place) {
    case PlacePC:
        cpu.PC = word;
        // A processor waiting on a HALT would return past it on the next
        // interrupt, wherever PC now points.
        cpu.Halted = 0;
        break;
    case PlaceSP: cpu.SP = word; break;
    case PlaceIX: cpu.IX.W = word; break;
    case PlaceIY: cpu.IY.W = word; break;
    case PlaceHL: cpu.HL.W = word; break;
    case PlaceDE: cpu.DE.W = word; break;
    case PlaceBC: cpu.BC.W = word; break;
    case PlaceAF: cpu.AF.W = word; break;
    case PlaceAltHL: cpu.AltHL.W = word; break;
    case PlaceAltDE: cpu.AltDE.W = word; break;
    case PlaceAltBC: cpu.AltBC.W = word; break;
    case PlaceAltAF: cpu.AltAF.W = word; break;
    case PlaceF: cpu.AF.Lo() = byte; break;
    case PlaceI: cpu.I = byte; break;
    case PlaceR:
        // As LD R,A: bit 7 is kept apart from the counting bits.
        cpu.R = byte;
        cpu.R7 = static_cast<u8>(byte & 0x80);
        break;
    case PlaceIFF1: cpu.IFF1 = byte; break;
    case PlaceIFF2: cpu.IFF2 = byte; break;
    case PlaceTact: cpu.Tact = static_cast<i32>(value); break;
    case PlaceIM: cpu.IM = byte; break;
    default: break;
    }
}

// ---------------------------------------------------------------------------
// Construction

TZ80F::TZ80F(QWidget* owner, TZ80* cpu, TComputer* computer)
    : TViewF(owner)
    , Cpu(cpu)
    , Computer(computer)
    , Kept(std::make_unique<TZ80>(nullptr, nullptr))
{
    PreferredHeight = 219;

    auto* box = new TViewPaintBox(this, QStringLiteral("Z80PB"));
    box->OnPaint = [this] { Z80PBPaint(); };
    box->OnMouseDown = [this](Qt::MouseButton button, const QPoint& point) { Z80PBMouseDown(button, point); };
    box->OnDblClick = [this](const QPoint& point) { Z80PBDblClick(point); };
    box->OnPopup = [this] { OnActionsUpdate(); };
    Z80PB = box;
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Z80PB);

    {
        auto pause = PauseMachine(Computer);
        Kept->CopyRegisters(*Cpu);
        // Nothing reads as changed when the view opens.
        OldR = NewR = RValue(*Cpu);
    }

    AddField(0, 0, 0, PlacePC, KindWord, "PC ");
    AddField(0, 12, 0, PlaceSP, KindWord, "SP ");
    AddField(0, 24, 0, PlaceIX, KindWord, "IX ");
    AddField(0, 36, 0, PlaceIY, KindWord, "IY ");
    AddField(0, 48, 0, PlaceHL, KindWord, "HL ");
    AddField(0, 60, 0, PlaceDE, KindWord, "DE ");
    AddField(0, 72, 0, PlaceBC, KindWord, "BC ");
    AddField(0, 84, 0, PlaceAF, KindWord, "AF ");
    AddField(0, 100, 0, PlaceAltHL, KindWord, "HL'");
    AddField(0, 112, 0, PlaceAltDE, KindWord, "DE'");
    AddField(0, 124, 0, PlaceAltBC, KindWord, "BC'");
    AddField(0, 136, 0, PlaceAltAF, KindWord, "AF'");
    AddField(78, 0, 7, PlaceF, KindFlag, "S");
    AddField(78, 12, 6, PlaceF, KindFlag, "Z");
    AddField(78, 24, 5, PlaceF, KindFlag, "5");
    AddField(78, 36, 4, PlaceF, KindFlag, "H");
    AddField(78, 48, 3, PlaceF, KindFlag, "3");
    AddField(78, 60, 2, PlaceF, KindFlag, "P");
    AddField(78, 72, 1, PlaceF, KindFlag, "N");
    AddField(78, 84, 0, PlaceF, KindFlag, "C");
    AddField(70, 100, 0, PlaceI, KindByte, "I ");
    AddField(70, 112, 0, PlaceR, KindByte, "R ");
    AddField(0, 152, 0, PlaceIFF1, KindFlag, "IFF1");
    AddField(54, 152, 0, PlaceIFF2, KindFlag, "IFF2");
    AddField(0, 164, 0, PlaceTact, KindDword, "T=");
    AddField(70, 164, 0, PlaceIM, KindIM, "IM");
    AddField(0, 176, 0, PlaceNone, KindDelta, "TM=");
    Selected = 0;
    // Wide enough for every field whole, in a window of its own.
    int right = 0;
    for (const TZ80Field& field : FieldList)
        right = std::max(right, field.X + field.Width());
    PreferredWidth = right + 2 * SystemMetrics::SizingBorder;

    Z80FramePM = new QMenu(this);
    Z80FramePM->setObjectName(QStringLiteral("Z80FramePM"));
    box->PopupMenu = Z80FramePM;
    EditA = AddAction("EditA", "Edit", {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}, "C");
    EditHighByteA = AddAction("EditHighByteA", "Edit High Byte", {QKeySequence(Qt::CTRL | Qt::Key_H)}, "W");
    EditLowByteA = AddAction("EditLowByteA", "Edit Low Byte", {QKeySequence(Qt::CTRL | Qt::Key_L)}, "W");
    SwitchA = AddAction("SwitchA", "Switch", {QKeySequence(Qt::Key_Space)}, "FM");
    ResetToZeroA = AddAction("ResetToZeroA", "Reset to 0", {QKeySequence(Qt::CTRL | Qt::Key_0)}, "C");
    SetToOneA = AddAction("SetToOneA", "Set to 1", {QKeySequence(Qt::CTRL | Qt::Key_1)}, "F");
    connect(EditA, &QAction::triggered, this, Guard([this] { EditAExecute(); }));
    connect(EditHighByteA, &QAction::triggered, this, Guard([this] { EditHighByteAExecute(); }));
    connect(EditLowByteA, &QAction::triggered, this, Guard([this] { EditLowByteAExecute(); }));
    connect(SwitchA, &QAction::triggered, this, Guard([this] { SwitchAExecute(); }));
    connect(ResetToZeroA, &QAction::triggered, this, Guard([this] { ResetToZeroAExecute(); }));
    connect(SetToOneA, &QAction::triggered, this, Guard([this] { SetToOneAExecute(); }));
    connect(Z80FramePM, &QMenu::aboutToShow, this, [this] { OnActionsUpdate(); });

    UpdateView();
    OnActionsUpdate();
}

TZ80F::~TZ80F() = default;

void TZ80F::AddField(i32 x, i32 y, u8 bit, i32 place, i32 kind, const char* label)
{
    // Cells sit 1 pixel in from their left edge and text 2; one more
    // pixel keeps the last character off the cell's right edge.
    const int advance = CharAdvance();
    TZ80Field field;
    field.X = x * advance / DesignAdvance;
    field.CellWidth = FieldChars(kind, QString::fromLatin1(label)) * advance + 3;
    field.Y = y;
    field.Label = QString::fromLatin1(label);
    field.Kind = kind;
    field.Place = place;
    field.Bit = bit;
    FieldList.push_back(field);
}

QAction* TZ80F::AddAction(const char* name, const char* caption, QList<QKeySequence> shortcuts, const char* category)
{
    auto* action = new QAction(QString::fromLatin1(caption), this);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcuts(shortcuts);
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    action->setProperty("Category", QString::fromLatin1(category));
    addAction(action);
    Z80FramePM->addAction(action);
    return action;
}

// ---------------------------------------------------------------------------
// Refresh and paint

u8 TZ80F::RValue(const TZ80& cpu) const
{
    return static_cast<u8>((cpu.R & 0x7F) | cpu.R7);
}

void TZ80F::UpdateView()
{
    if (IsRefreshSuppressed(this))
        return;
    auto pause = PauseMachine(Computer);
    const TZ80& live = *Cpu;
    NewR = RValue(live);
    const i64 frameLength = g_Settings->TStatesPerFrame;
    for (TZ80Field& field : FieldList) {
        const u32 kept = ReadPlace(*Kept, field.Place);
        const u32 now = ReadPlace(live, field.Place);
        switch (field.Kind) {
        case KindWord:
            field.Changed = static_cast<u16>(kept) != static_cast<u16>(now);
            break;
        case KindByte:
        case KindIM:
            field.Changed = field.Place == PlaceR ? NewR != OldR : static_cast<u8>(kept) != static_cast<u8>(now);
            break;
        case KindDword:
            field.Changed = kept != now;
            break;
        case KindFlag:
            field.Changed = ((kept ^ now) >> field.Bit & 1) != 0;
            break;
        default:
            // Counted in 64 bits: the frame counter times the frame length
            // leaves 32 bits after some ten minutes of running.
            Delta = (i64(live.Frame) * frameLength + live.Tact) - (i64(Kept->Frame) * frameLength + Kept->Tact);
            field.Changed = false;
            break;
        }
    }
    Kept->CopyRegisters(live);
    OldR = NewR;
    Z80PB->update();
}

QString TZ80F::FieldText(int index) const
{
    const TZ80Field& field = FieldList.at(std::size_t(index));
    const u32 value = field.Place == PlaceR ? NewR : ReadPlace(*Kept, field.Place);
    switch (field.Kind) {
    case KindWord:
        return field.Label + QString::fromStdString(HexWord(static_cast<u16>(value)));
    case KindByte:
        return field.Label + QString::fromStdString(HexByte(static_cast<u8>(value)));
    case KindDword:
        return field.Label + QString::number(static_cast<i32>(value));
    case KindFlag:
        return field.Label + ((value >> field.Bit & 1) ? QStringLiteral("=1") : QStringLiteral("=0"));
    case KindIM:
        return field.Label + QStringLiteral("=") + QString::number(value & 0xFF);
    default:
        return field.Label + QString::number(Delta);
    }
}

void TZ80F::Z80PBPaint()
{
    QPainter painter(Z80PB);
    painter.fillRect(Z80PB->rect(), SystemColors::ButtonFace());
    const QFont regular = ViewFont(false);
    const QFont bold = ViewFont(true);
    for (int i = 0; i < int(FieldList.size()); ++i) {
        const TZ80Field& field = FieldList[std::size_t(i)];
        const bool selected = i == Selected;
        painter.setFont(field.Changed ? bold : regular);
        painter.setPen(GetFrameColor(1, selected));
        TextRect(painter, field.Rect(), field.X + 2, field.Y + 1, FieldText(i), GetFrameColor(0, selected));
    }
}

// ---------------------------------------------------------------------------
// Selection

int TZ80F::FieldAt(const QPoint& point) const
{
    for (int i = 0; i < int(FieldList.size()); ++i)
        if (FieldList[std::size_t(i)].Rect().contains(point))
            return i;
    return -1;
}

const TZ80F::TZ80Field* TZ80F::SelectedField() const
{
    return Selected >= 0 && Selected < int(FieldList.size()) ? &FieldList[std::size_t(Selected)] : nullptr;
}

int TZ80F::FieldIndex(const QString& label) const
{
    for (int i = 0; i < int(FieldList.size()); ++i)
        if (FieldList[std::size_t(i)].Label == label)
            return i;
    return -1;
}

void TZ80F::SetSelected(int index)
{
    if (index < 0 || index >= int(FieldList.size()) || FieldList[std::size_t(index)].Kind == KindDelta)
        return;
    Selected = index;
    OnActionsUpdate();
    Z80PB->update();
}

void TZ80F::Z80PBMouseDown(Qt::MouseButton, const QPoint& point)
{
    SetActive();
    Clicked = FieldAt(point);
    if (Clicked >= 0 && FieldList[std::size_t(Clicked)].Kind != KindDelta)
        Selected = Clicked;
    OnActionsUpdate();
    Z80PB->update();
}

void TZ80F::Z80PBDblClick(const QPoint& point)
{
    // Qt delivers the double click in place of its second press.
    Z80PBMouseDown(Qt::LeftButton, point);
    if (Clicked < 0)
        return;
    switch (FieldList[std::size_t(Clicked)].Kind) {
    case KindWord:
    case KindByte:
    case KindDword:
        EditAExecute();
        break;
    case KindFlag:
    case KindIM:
        SwitchAExecute();
        break;
    default:
        break;
    }
}

void TZ80F::SelectFirst()
{
    Selected = 0;
    OnActionsUpdate();
    Z80PB->update();
}

void TZ80F::SelectLast()
{
    Selected = int(FieldList.size()) - 1;
    while (FieldList[std::size_t(Selected)].Kind == KindDelta)
        --Selected;
    OnActionsUpdate();
    Z80PB->update();
}

void TZ80F::SelectNext()
{
    const int count = int(FieldList.size());
    do
        Selected = (Selected + 1) % count;
    while (FieldList[std::size_t(Selected)].Kind == KindDelta);
    OnActionsUpdate();
    Z80PB->update();
}

void TZ80F::SelectPrevious()
{
    const int count = int(FieldList.size());
    do
        Selected = (Selected + count - 1) % count;
    while (FieldList[std::size_t(Selected)].Kind == KindDelta);
    OnActionsUpdate();
    Z80PB->update();
}

void TZ80F::KeyDown(int& key, Qt::KeyboardModifiers)
{
    switch (key) {
    case Qt::Key_Home:
        SelectFirst();
        break;
    case Qt::Key_End:
        SelectLast();
        break;
    case Qt::Key_Down:
        SelectNext();
        break;
    case Qt::Key_Up:
        SelectPrevious();
        break;
    default:
        return;
    }
    key = 0;
}

void TZ80F::MouseWheelDown(Qt::KeyboardModifiers, const QPoint&, bool& handled)
{
    SelectNext();
    handled = true;
}

void TZ80F::MouseWheelUp(Qt::KeyboardModifiers, const QPoint&, bool& handled)
{
    SelectPrevious();
    handled = true;
}

// ---------------------------------------------------------------------------
// Actions

void TZ80F::OnActionsUpdate()
{
    const TZ80Field* field = SelectedField();
    const i32 kind = field ? field->Kind : -1;
    for (QAction* action : {EditHighByteA, EditLowByteA, SwitchA, ResetToZeroA, SetToOneA}) {
        const QString category = action->property("Category").toString();
        bool on = false;
        if (category.contains(QLatin1Char('C')))
            on = true;
        else if (category.contains(QLatin1Char('F')) && kind == KindFlag)
            on = true;
        else if (category.contains(QLatin1Char('W')) && kind == KindWord)
            on = true;
        else if (category.contains(QLatin1Char('M')) && kind == KindIM)
            on = true;
        action->setEnabled(on);
        action->setVisible(on);
    }
}

void TZ80F::Changed()
{
    UpdateView();
    // The disassembly follows a new PC, the stack view a new SP.
    UpdateOtherViews(this);
    OnActionsUpdate();
}

void TZ80F::WriteLive(i32 place, u32 value)
{
    {
        auto pause = PauseMachine(Computer);
        WritePlace(*Cpu, place, value);
    }
    Changed();
}

void TZ80F::SwitchAExecute()
{
    const TZ80Field* field = SelectedField();
    if (!field)
        return;
    if (field->Kind == KindFlag) {
        u32 value = 0;
        {
            auto pause = PauseMachine(Computer);
            value = ReadPlace(*Cpu, field->Place) ^ (1u << field->Bit);
            WritePlace(*Cpu, field->Place, value);
        }
        Changed();
    } else if (field->Kind == KindIM) {
        {
            auto pause = PauseMachine(Computer);
            const u32 mode = ReadPlace(*Cpu, field->Place);
            WritePlace(*Cpu, field->Place, mode >= 2 ? 0 : mode + 1);
        }
        Changed();
    }
}

void TZ80F::ResetToZeroAExecute()
{
    const TZ80Field* field = SelectedField();
    if (!field || field->Kind == KindDelta)
        return;
    if (field->Kind == KindFlag) {
        {
            auto pause = PauseMachine(Computer);
            WritePlace(*Cpu, field->Place, ReadPlace(*Cpu, field->Place) & ~(1u << field->Bit));
        }
        Changed();
        return;
    }
    WriteLive(field->Place, 0);
}

void TZ80F::SetToOneAExecute()
{
    const TZ80Field* field = SelectedField();
    if (!field || field->Kind != KindFlag)
        return;
    {
        auto pause = PauseMachine(Computer);
        WritePlace(*Cpu, field->Place, ReadPlace(*Cpu, field->Place) | 1u << field->Bit);
    }
    Changed();
}

void TZ80F::EditAExecute()
{
    EditField(0);
}

void TZ80F::EditHighByteAExecute()
{
    EditField(2);
}

void TZ80F::EditLowByteAExecute()
{
    EditField(1);
}

// part: 0 the whole value, 1 the low byte of a word, 2 its high byte.
void TZ80F::EditField(int part)
{
    const TZ80Field* field = SelectedField();
    if (!field || !ExpressionF)
        return;
    QString caption;
    i32 size = TExpressionF::SizeWord;
    u32 limit = 0;
    switch (field->Kind) {
    case KindWord:
        if (part == 0) {
            caption = QStringLiteral("Edit register pair ") + field->Label;
        } else {
            caption = (part == 2 ? QStringLiteral("Edit high byte of register pair ")
                                 : QStringLiteral("Edit low byte of register pair "))
                      + field->Label.trimmed();
            size = TExpressionF::SizeByte;
        }
        break;
    case KindByte:
        if (part != 0)
            return;
        caption = QStringLiteral("Edit register ") + field->Label;
        size = TExpressionF::SizeByte;
        break;
    case KindDword:
        if (part != 0)
            return;
        caption = QStringLiteral("Edit curent frame tackt");
        size = TExpressionF::SizeDword;
        // A T-state within the frame: 0 up to the frame length.
        limit = std::max<u32>(g_Settings->TStatesPerFrame, 1);
        break;
    default:
        return;
    }
    u16 pc = 0;
    {
        auto pause = PauseMachine(Computer);
        pc = Cpu->PC;
    }
    const i32 place = field->Place;
    const QPoint position = Z80PB->mapToGlobal(QPoint(field->X + 1, field->Y + 16));
    const QPointer<TZ80F> self(this);
    const bool ok = ExpressionF->Execute(caption, QStringLiteral("Update"), position, pc, size, limit);
    if (!self || !ok || !ExpressionF || !ExpressionF->IsValid())
        return;
    const u32 value = ExpressionF->GetDword();
    if (part == 0) {
        WriteLive(place, value);
        return;
    }
    {
        auto pause = PauseMachine(Computer);
        TRegPair pair(static_cast<u16>(ReadPlace(*Cpu, place)));
        (part == 2 ? pair.Hi() : pair.Lo()) = static_cast<u8>(value);
        WritePlace(*Cpu, place, pair.W);
    }
    Changed();
}
