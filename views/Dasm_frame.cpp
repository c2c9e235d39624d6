#include "views/Dasm_frame.h"

#include "core/Computer.h"
#include "core/Data_array.h"
#include "core/Z80.h"
#include "platform/Application.h"
#include "platform/System_metrics.h"
#include "shell/Ide.h"
#include "shell/Main.h"
#include "tools/Z80_mnemonic.h"
#include "views/Debugger_views.h"
#include "views/Quick_asm_form.h"
#include "views/View_paint_box.h"

#include <QAction>
#include <QActionGroup>
#include <QLayout>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>

#include <algorithm>

namespace {

// ---------------------------------------------------------------------------
// Published Z80 lengths and timings

// Length of each unprefixed opcode (CB, DD, ED, FD are decoded apart).
constexpr std::array<u8, 256> Lengths = {
    //  0  1  2  3  4  5  6  7  8  9  A  B  C  D  E  F
        1, 3, 1, 1, 1, 1, 2, 1, 1, 1, 1, 1, 1, 1, 2, 1,  // 0x
        2, 3, 1, 1, 1, 1, 2, 1, 2, 1, 1, 1, 1, 1, 2, 1,  // 1x
        2, 3, 3, 1, 1, 1, 2, 1, 2, 1, 3, 1, 1, 1, 2, 1,  // 2x
        2, 3, 3, 1, 1, 1, 2, 1, 2, 1, 3, 1, 1, 1, 2, 1,  // 3x
        1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 4x
        1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 5x
        1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 6x
        1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 7x
        1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 8x
        1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 9x
        1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // Ax
        1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // Bx
        1, 1, 3, 3, 3, 1, 2, 1, 1, 1, 3, 2, 3, 3, 2, 1,  // Cx
        1, 1, 3, 2, 3, 1, 2, 1, 1, 1, 3, 2, 3, 0, 2, 1,  // Dx
        1, 1, 3, 1, 3, 1, 2, 1, 1, 1, 3, 1, 3, 0, 2, 1,  // Ex
        1, 1, 3, 1, 3, 1, 2, 1, 1, 1, 3, 1, 3, 0, 2, 1,  // Fx
};

// T-states of each unprefixed opcode. A conditional one is coded
// base x 10 + extra (JR cc 7/12 is 75, RET cc 5/11 is 56, CALL cc 10/17 is
// 107, DJNZ 8/13 is 85); the prefixes hold the 4 of their own fetch.
constexpr std::array<u8, 256> MainTStates = {
    //  0    1    2    3    4    5    6    7    8    9    A    B    C    D    E    F
        4,  10,   7,   6,   4,   4,   7,   4,   4,  11,   7,   6,   4,   4,   7,   4,  // 0x
       85,  10,   7,   6,   4,   4,   7,   4,  12,  11,   7,   6,   4,   4,   7,   4,  // 1x
       75,  10,  16,   6,   4,   4,   7,   4,  75,  11,  16,   6,   4,   4,   7,   4,  // 2x
       75,  10,  13,   6,  11,  11,  10,   4,  75,  11,  13,   6,   4,   4,   7,   4,  // 3x
        4,   4,   4,   4,   4,   4,   7,   4,   4,   4,   4,   4,   4,   4,   7,   4,  // 4x
        4,   4,   4,   4,   4,   4,   7,   4,   4,   4,   4,   4,   4,   4,   7,   4,  // 5x
        4,   4,   4,   4,   4,   4,   7,   4,   4,   4,   4,   4,   4,   4,   7,   4,  // 6x
        7,   7,   7,   7,   7,   7,   4,   7,   4,   4,   4,   4,   4,   4,   7,   4,  // 7x
        4,   4,   4,   4,   4,   4,   7,   4,   4,   4,   4,   4,   4,   4,   7,   4,  // 8x
        4,   4,   4,   4,   4,   4,   7,   4,   4,   4,   4,   4,   4,   4,   7,   4,  // 9x
        4,   4,   4,   4,   4,   4,   7,   4,   4,   4,   4,   4,   4,   4,   7,   4,  // Ax
        4,   4,   4,   4,   4,   4,   7,   4,   4,   4,   4,   4,   4,   4,   7,   4,  // Bx
       56,  10,  10,  10, 107,  11,   7,  11,  56,  10,  10,   4, 107,  17,   7,  11,  // Cx
       56,  10,  10,  11, 107,  11,   7,  11,  56,   4,  10,  11, 107,   4,   7,  11,  // Dx
       56,  10,  10,  19, 107,  11,   7,  11,  56,   4,  10,   4, 107,   4,   7,  11,  // Ex
       56,  10,  10,   4, 107,  11,   7,  11,  56,   6,  10,   4, 107,   4,   7,  11,  // Fx
};

// T-states of each ED opcode less the 4 of the ED fetch. An undefined one
// is an 8 T-state NOP (4); the repeating block instructions are 16/21 (125).
constexpr std::array<u8, 256> EdTStates = {
    //  0    1    2    3    4    5    6    7    8    9    A    B    C    D    E    F
        4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,  // 0x
        4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,  // 1x
        4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,  // 2x
        4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,  // 3x
        8,   8,  11,  16,   4,  10,   4,   5,   8,   8,  11,  16,   4,  10,   4,   5,  // 4x
        8,   8,  11,  16,   4,  10,   4,   5,   8,   8,  11,  16,   4,  10,   4,   5,  // 5x
        8,   8,  11,  16,   4,  10,   4,  14,   8,   8,  11,  16,   4,  10,   4,  14,  // 6x
        8,   8,  11,  16,   4,  10,   4,   4,   8,   8,  11,  16,   4,  10,   4,   4,  // 7x
        4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,  // 8x
        4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,  // 9x
       12,  12,  12,  12,   4,   4,   4,   4,  12,  12,  12,  12,   4,   4,   4,   4,  // Ax
      125, 125, 125, 125,   4,   4,   4,   4, 125, 125, 125, 125,   4,   4,   4,   4,  // Bx
        4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,  // Cx
        4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,  // Dx
        4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,  // Ex
        4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,   4,  // Fx
};

// An unprefixed opcode that, under DD or FD, reads a displacement:
// INC/DEC/LD (HL) and the (HL) operands of the load and ALU blocks
// 01rrr110, 01110rrr (not HALT) and 10ooo110.
constexpr bool TakesDisplacement(u8 m)
{
    if (m == 0x34 || m == 0x35 || m == 0x36)
        return true;
    return m >= 0x40 && m <= 0xBF && m != 0x76 && ((m & 7) == 6 || (m & 0xF8) == 0x70);
}

// What an index prefix adds beyond its own 4 T-states: 8 for the
// displacement forms (5 for LD (IX+d),n, which reads n meanwhile).
constexpr u8 IndexExtra(u8 m)
{
    if (m == 0x36)
        return 5;
    return TakesDisplacement(m) ? 8 : 0;
}

// CB page: 00ooorrr rotates and shifts, 01bbbrrr BIT, 1xbbbrrr RES/SET.
// Register operands take 4 beyond the CB fetch, (HL) 11 (BIT n,(HL) 8).
constexpr u8 CbTStates(u8 op)
{
    if ((op & 7) != 6)
        return 4;
    return (op & 0xC0) == 0x40 ? 8 : 11;
}

// DD CB d op / FD CB d op beyond the prefix: 15, BIT 12.
constexpr u8 IndexCbTStates(u8 op)
{
    return (op & 0xC0) == 0x40 ? 12 : 15;
}

bool IsIndexPrefix(u8 b)
{
    return b == 0xDD || b == 0xFD;
}

} // namespace

// ---------------------------------------------------------------------------
// Construction

TDasmF::TDasmF(QWidget* owner)
    : TViewF(owner)
{
    PreferredWidth = 290;
    PreferredHeight = 390;

    auto* box = new TViewPaintBox(this, QStringLiteral("PB"));
    box->OnPaint = [this] { PBPaint(); };
    box->OnMouseDown = [this](Qt::MouseButton button, const QPoint& point) { PBMouseDown(button, point); };
    box->OnDblClick = [this](const QPoint& point) { PBDblClick(point); };
    PB = box;
    VertScrollBar = AddVertScrollBar(this, PB);

    BuildPopupMenu();
    box->PopupMenu = DasmPM;
}

TDasmF::~TDasmF() = default;

QAction* TDasmF::AddAction(const char* name, const char* caption, QList<QKeySequence> shortcuts)
{
    auto* action = new QAction(QString::fromLatin1(caption), this);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcuts(shortcuts);
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    action->setProperty("Category", QStringLiteral("Debug"));
    addAction(action);
    DasmPM->addAction(action);
    return action;
}

void TDasmF::BuildPopupMenu()
{
    DasmPM = new QMenu(this);
    DasmPM->setObjectName(QStringLiteral("DasmPM"));
    SetPCOnCurrentLineA = AddAction("SetPCOnCurrentLineA", "Set PC on Current Line", {QKeySequence(Qt::CTRL | Qt::Key_N)});
    RunToCursorA = AddAction("RunToCursorA", "Run to Cursor", {QKeySequence(Qt::Key_F4)});
    ShowExecutionPointA = AddAction("ShowExecutionPointA", "Show Execution Point", {QKeySequence(Qt::CTRL | Qt::Key_O)});
    GotoAddressA = AddAction("GotoAddressA", "Goto Address...", {QKeySequence(Qt::CTRL | Qt::Key_G)});
    FollowA = AddAction("FollowA", "Follow", {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    CallerA = AddAction("CallerA", "Caller", {});
    QuickAsmA = AddAction("QuickAsmA", "Quick Assembler...", {QKeySequence(Qt::CTRL | Qt::Key_A)});
    connect(SetPCOnCurrentLineA, &QAction::triggered, this, Guard([this] { SetPCOnCurrentLineAExecute(); }));
    connect(RunToCursorA, &QAction::triggered, this, Guard([this] { RunToCursorAExecute(); }));
    connect(ShowExecutionPointA, &QAction::triggered, this, Guard([this] { ShowExecutionPointAExecute(); }));
    connect(GotoAddressA, &QAction::triggered, this, Guard([this] { GotoAddressAExecute(); }));
    connect(FollowA, &QAction::triggered, this, Guard([this] { FollowAExecute(); }));
    connect(CallerA, &QAction::triggered, this, Guard([this] { CallerAExecute(); }));
    connect(QuickAsmA, &QAction::triggered, this, Guard([this] { QuickAsmAExecute(); }));

    // The columns and the number format are fixed: these items only show
    // the layout in use.
    DasmPM->addSeparator();
    QMenu* view = DasmPM->addMenu(QStringLiteral("View"));
    for (const auto& [caption, checked] : {std::pair{"Address", true}, std::pair{"Code", true},
                                           std::pair{"Bytes", false}, std::pair{"Tackts", false},
                                           std::pair{"Label", false}, std::pair{"Mnemonic", true},
                                           std::pair{"Comment", false}}) {
        QAction* item = view->addAction(QString::fromLatin1(caption));
        item->setCheckable(true);
        item->setChecked(checked);
        item->setEnabled(false);
    }
    QMenu* format = DasmPM->addMenu(QStringLiteral("Number Format"));
    auto* group = new QActionGroup(format);
    for (const auto& [caption, checked] : {std::pair{"Hex", true}, std::pair{"Decimal", false}}) {
        QAction* item = format->addAction(QString::fromLatin1(caption));
        item->setCheckable(true);
        item->setChecked(checked);
        item->setEnabled(false);
        group->addAction(item);
    }
}

void TDasmF::SetSource(std::unique_ptr<TDataArray> memory, TComputer* computer)
{
    Memory = std::move(memory);
    Computer = computer;
    Cursor = 0;
    Mnemonics = std::make_unique<TZ80Mnm>(Memory.get());
    UpdateScrollRange();
    Repaint();
}

// ---------------------------------------------------------------------------
// Decoding

u32 TDasmF::InstructionLength(TDataArray& memory, u32 address)
{
    auto byteAt = [&](u32 offset) { return memory.GetByte(static_cast<u16>(address + offset)); };
    for (u32 p = 0;; ++p) {
        const u8 b = byteAt(p);
        if (b == 0xCB)
            return p == 0 ? 2 : p + 3;  // DD CB d op: the displacement, then the operation
        if (b == 0xED)
            return (byteAt(p + 1) & 0xC7) == 0x43 ? p + 4 : p + 2;  // LD (nn),rr / LD rr,(nn)
        if (IsIndexPrefix(b)) {
            // The processor ends its step after this many prefixes in a row.
            if (p + 1 >= u32(TZ80Mnm::MaxPrefixes))
                return p + 1;
            continue;
        }
        u32 length = Lengths[b] + p;
        if (p > 0 && TakesDisplacement(b))
            ++length;
        return length;
    }
}

TDasmF::TTStates TDasmF::DecodeTStates(int code, int add)
{
    if (code <= 40)
        return {code + add, 0};
    return {code / 10 + add, code % 10};
}

TDasmF::TTStates TDasmF::TStates(TDataArray& memory, u32 address)
{
    int q = 0;
    for (int prefixes = 0;; ++prefixes) {
        const u8 b = memory.GetByte(static_cast<u16>(address));
        if (b == 0xCB) {
            if (q == 0)
                return DecodeTStates(CbTStates(memory.GetByte(static_cast<u16>(address + 1))), 4);
            return DecodeTStates(IndexCbTStates(memory.GetByte(static_cast<u16>(address + 2))), q + 4);
        }
        if (b == 0xED)
            return DecodeTStates(EdTStates[memory.GetByte(static_cast<u16>(address + 1))], q + 4);
        if (IsIndexPrefix(b)) {
            q += 4;
            ++address;
            if (prefixes + 1 >= TZ80Mnm::MaxPrefixes)
                return {q, 0};
            continue;
        }
        if (q == 0)
            return DecodeTStates(MainTStates[b], 0);
        return DecodeTStates(MainTStates[b], IndexExtra(b) + q);
    }
}

std::string TDasmF::TStatesText(const TTStates& states)
{
    std::string text = std::to_string(states.Base);
    if (states.Extra != 0)
        text += "+" + std::to_string(states.Extra);
    return text;
}

bool TDasmF::JumpTarget(TDataArray& memory, u32 address, u16& target)
{
    const u8 op = memory.GetByte(static_cast<u16>(address));
    auto word = [&] {
        return static_cast<u16>(memory.GetByte(static_cast<u16>(address + 1))
                                | memory.GetByte(static_cast<u16>(address + 2)) << 8);
    };
    // 11ccc010 JP cc,nn, 11ccc100 CALL cc,nn, 11ppp111 RST p.
    if (op == 0xC3 || op == 0xCD || (op & 0xC7) == 0xC2 || (op & 0xC7) == 0xC4) {
        target = word();
        return true;
    }
    if ((op & 0xC7) == 0xC7) {
        target = static_cast<u16>(op & 0x38);
        return true;
    }
    // DJNZ, JR, JR cc: relative to the next instruction.
    if (op == 0x10 || op == 0x18 || op == 0x20 || op == 0x28 || op == 0x30 || op == 0x38) {
        const auto offset = static_cast<i8>(memory.GetByte(static_cast<u16>(address + 1)));
        target = static_cast<u16>(address + 2 + offset);
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// Stepping

u32 TDasmF::NextInstruction(u32 address)
{
    return (address + InstructionLength(*Memory, address)) & 0xFFFF;
}

u32 TDasmF::PrevGuess(u32 address)
{
    for (u32 k = 5; k >= 1; --k) {
        if (InstructionLength(*Memory, (address - k) & 0xFFFF) == k)
            return k > address ? address : address - k;
    }
    return address;
}

u32 TDasmF::PrevInstruction(u32 address)
{
    const u32 a = address & 0xFFFF;
    for (u32 k = 0; k <= 4; ++k) {
        u32 p = (a - 16 + k) & 0xFFFF;
        u32 last = p;
        // Walk forward while still short of the address; a walk that passes
        // it ends, as does one that reaches it.
        while (p != a) {
            const u32 distance = (a - p) & 0xFFFF;
            if (distance < 1 || distance > 16)
                break;
            last = p;
            p = NextInstruction(p);
        }
        if (p == a)
            return last;
    }
    return (a - 1) & 0xFFFF;
}

u32 TDasmF::NextPage(u32 address)
{
    for (int i = 0; i < RowCount; ++i)
        address = NextInstruction(address);
    return address;
}

u32 TDasmF::PrevPage(u32 address)
{
    for (int i = 0; i < RowCount; ++i)
        address = PrevInstruction(address);
    return address;
}

// ---------------------------------------------------------------------------
// Scrolling

int TDasmF::ClientHeight() const
{
    return PB->height();
}

void TDasmF::UpdateScrollRange()
{
    const int size = Memory ? Memory->GetSize() : 0;
    VertScrollBar->setRange(0, std::max(0, size - ClientHeight()));
    VertScrollBar->setPageStep(std::max(1, ClientHeight()));
    VertScrollBar->setSingleStep(1);
}

void TDasmF::resizeEvent(QResizeEvent* event)
{
    TViewF::resizeEvent(event);
    // The paint box gets its new size from the layout first.
    if (layout())
        layout()->activate();
    UpdateScrollRange();
}

u32 TDasmF::GetTop() const
{
    return static_cast<u32>(VertScrollBar->value());
}

void TDasmF::SetTop(u32 address)
{
    UpdateScrollRange();
    VertScrollBar->setValue(static_cast<int>(std::min<u32>(address, u32(VertScrollBar->maximum()))));
}

void TDasmF::SetCursor(u32 address)
{
    Cursor = address & 0xFFFF;
    Repaint();
}

void TDasmF::Repaint()
{
    PB->update();
}

bool TDasmF::HasCpu() const
{
    return Computer && Computer->Z80;
}

u16 TDasmF::ReadPC() const
{
    auto pause = PauseMachine(Computer);
    return Computer->Z80->PC;
}

// ---------------------------------------------------------------------------
// Painting

void TDasmF::LayoutRows()
{
    PaintRows(nullptr);
}

void TDasmF::PBPaint()
{
    QPainter painter(PB);
    painter.fillRect(PB->rect(), SystemColors::ButtonFace());
    PaintRows(&painter);
}

void TDasmF::PaintRows(QPainter* painter)
{
    RowCount = 0;
    RowStarts[0] = GetTop();
    if (!Memory)
        return;
    // Memory and PC are read between two instructions of a run.
    auto pause = PauseMachine(Computer);
    const bool hasCpu = HasCpu();
    const u16 pc = hasCpu ? Computer->Z80->PC : 0;
    const int height = ClientHeight();
    const int right = PB->width();
    const QFont regular = ViewFont(false);
    const QFont bold = ViewFont(true);
    std::string mnemonic;

    u32 a = GetTop();
    int i = 0;
    while (RowHeight * i < height && i < MaxRows) {
        RowStarts[std::size_t(i)] = a;
        const u16 address = static_cast<u16>(a);
        const bool atCursor = address == Cursor;
        if (atCursor)
            CursorRow = i;
        const u32 length = InstructionLength(*Memory, address);
        if (painter) {
            painter->setFont(hasCpu && pc == address ? bold : regular);
            painter->setPen(GetFrameColor(1, atCursor));
            const QColor brush = GetFrameColor(0, atCursor);
            const int top = RowHeight * i;
            int left = 0;
            auto text = [&](int x, const std::string& s) {
                TextRect(*painter, QRect(QPoint(left, top + 2), QPoint(right - 1, top + 13)), x, top,
                         QString::fromStdString(s), brush);
            };
            text(4, Memory->GetAddressText(address));
            left = BytesX;
            for (u32 j = 0; j < length && left < right; ++j) {
                text(BytesX + ByteWidth * int(j), Memory->GetByteText(static_cast<u16>(a + j)));
                left += ByteWidth;
            }
            text(TStatesX, TStatesText(TStates(*Memory, address)));
            left = MnemonicX;
            Mnemonics->Disassemble(address, mnemonic);
            text(MnemonicX, mnemonic);
        }
        a += length;
        ++i;
    }
    RowCount = i;
    RowStarts[std::size_t(i)] = a;
}

// ---------------------------------------------------------------------------
// Refresh, keys and mouse

void TDasmF::UpdateView()
{
    if (IsRefreshSuppressed(this))
        return;
    if (HasCpu() && Memory) {
        const u32 pc = ReadPC();
        const u32 top = GetTop();
        const u32 visible = u32(ClientHeight() / RowHeight);
        if (pc < top || pc >= top + visible)
            SetTop(PrevGuess(PrevGuess(pc)));
        Cursor = pc;
    }
    Repaint();
}

void TDasmF::CursorDown()
{
    if (!Memory)
        return;
    LayoutRows();
    Cursor = NextInstruction(Cursor);
    if (CursorRow == RowCount - 2)
        ScrollDown();
    Repaint();
}

void TDasmF::CursorUp()
{
    if (!Memory)
        return;
    LayoutRows();
    Cursor = PrevInstruction(Cursor);
    if (CursorRow == 0)
        ScrollUp();
    Repaint();
}

void TDasmF::ScrollDown()
{
    if (!Memory)
        return;
    SetTop(NextInstruction(GetTop()));
    Repaint();
}

void TDasmF::ScrollUp()
{
    if (!Memory)
        return;
    SetTop(PrevInstruction(GetTop()));
    Repaint();
}

void TDasmF::PageDown()
{
    if (!Memory)
        return;
    LayoutRows();
    SetTop(NextPage(GetTop()));
    Cursor = NextPage(Cursor);
    Repaint();
}

void TDasmF::PageUp()
{
    if (!Memory)
        return;
    LayoutRows();
    SetTop(PrevPage(GetTop()));
    Cursor = PrevPage(Cursor);
    Repaint();
}

void TDasmF::CursorToTop()
{
    LayoutRows();
    if (RowCount > 0)
        Cursor = RowStarts[0] & 0xFFFF;
    Repaint();
}

void TDasmF::CursorToBottom()
{
    LayoutRows();
    if (RowCount > 0)
        Cursor = RowStarts[std::size_t(std::max(0, RowCount - 2))] & 0xFFFF;
    Repaint();
}

void TDasmF::KeyDown(int& key, Qt::KeyboardModifiers shift)
{
    const bool ctrl = shift & Qt::ControlModifier;
    switch (key) {
    case Qt::Key_PageUp:
        ctrl ? CursorToTop() : PageUp();
        break;
    case Qt::Key_PageDown:
        ctrl ? CursorToBottom() : PageDown();
        break;
    case Qt::Key_Up:
        ctrl ? ScrollUp() : CursorUp();
        break;
    case Qt::Key_Down:
        ctrl ? ScrollDown() : CursorDown();
        break;
    default:
        return;
    }
    key = 0;
}

void TDasmF::MouseWheelDown(Qt::KeyboardModifiers shift, const QPoint&, bool& handled)
{
    if (shift & Qt::ControlModifier)
        PageDown();
    else if (shift & Qt::ShiftModifier)
        CursorDown();
    else
        ScrollDown();
    handled = true;
}

void TDasmF::MouseWheelUp(Qt::KeyboardModifiers shift, const QPoint&, bool& handled)
{
    if (shift & Qt::ControlModifier)
        PageUp();
    else if (shift & Qt::ShiftModifier)
        CursorUp();
    else
        ScrollUp();
    handled = true;
}

void TDasmF::PBMouseDown(Qt::MouseButton, const QPoint& point)
{
    SetActive();
    AddressColumn = point.x() < AddressColumnWidth;
    LayoutRows();
    if (RowCount > 0) {
        const int row = std::clamp((point.y() - 2) / RowHeight, 0, RowCount - 1);
        Cursor = RowStarts[std::size_t(row)] & 0xFFFF;
    }
    Repaint();
}

void TDasmF::PBDblClick(const QPoint& point)
{
    // Qt delivers the double click in place of its second press, so there
    // is no later press to ignore.
    PBMouseDown(Qt::LeftButton, point);
    if (AddressColumn)
        GotoAddressAExecute();
    else
        QuickAsmAExecute();
}

// ---------------------------------------------------------------------------
// Actions

void TDasmF::MoveCursorInView(u16 address)
{
    Cursor = address;
    LayoutRows();
    // The last row may be cut: it does not count as in view.
    bool visible = false;
    for (int i = 0; i < RowCount - 1 && !visible; ++i)
        visible = (RowStarts[std::size_t(i)] & 0xFFFF) == address;
    if (!visible)
        SetTop(PrevGuess(PrevGuess(address)));
    Repaint();
}

void TDasmF::SetPCOnCurrentLineAExecute()
{
    if (!HasCpu())
        return;
    {
        auto pause = PauseMachine(Computer);
        Computer->Z80->PC = static_cast<u16>(Cursor);
        // Leaves a HALT the processor waits on.
        Computer->Z80->Halted = 0;
    }
    // The registers view shows the new PC too; this view keeps its place.
    UpdateOtherViews(this);
    Repaint();
}

void TDasmF::OnRunToCursorStop()
{
    if (MainF)
        MainF->OnDebugStop();
    else
        g_IDE.UpdateViews();
}

void TDasmF::RunToCursorAExecute()
{
    if (!HasCpu() || Computer->IsRunActive())
        return;
    // The main window's run actions follow this run as they follow their own.
    if (MainF)
        MainF->SetDebugActions(false);
    // The end of the run does not reach this view, which may be gone by then.
    if (!Computer->Run(&TDasmF::OnRunToCursorStop, static_cast<i32>(Cursor)) && MainF)
        MainF->SetDebugActions(!Computer->IsRunActive());
}

void TDasmF::ShowExecutionPointAExecute()
{
    if (!HasCpu())
        return;
    Cursor = ReadPC();
    SetTop(Cursor);
    Repaint();
}

void TDasmF::GotoAddressAExecute()
{
    if (!Memory)
        return;
    const std::optional<u16> address = AskGotoAddress(this, Computer);
    if (!address)
        return;
    Cursor = *address;
    SetTop(Cursor);
    Repaint();
}

void TDasmF::FollowAExecute()
{
    if (!Memory)
        return;
    u16 target = 0;
    {
        auto pause = PauseMachine(Computer);
        if (!JumpTarget(*Memory, Cursor, target))
            return;
    }
    if (FollowHistory.size() >= std::size_t(FollowHistoryLimit))
        FollowHistory.erase(FollowHistory.begin());
    FollowHistory.push_back(static_cast<u16>(Cursor));
    MoveCursorInView(target);
}

void TDasmF::CallerAExecute()
{
    if (FollowHistory.empty())
        return;
    const u16 back = FollowHistory.back();
    FollowHistory.pop_back();
    MoveCursorInView(back);
}

void TDasmF::QuickAsmAExecute()
{
    if (!QuickAsmF || !Memory)
        return;
    const QPointer<TDasmF> self(this);
    const int result = QuickAsmF->Execute(static_cast<u16>(Cursor));
    if (!self || result != QDialog::Accepted || !QuickAsmF)
        return;
    const TQAResult code = *QuickAsmF->GetResult();
    if (code.Error)
        return;
    {
        auto pause = PauseMachine(Computer);
        // Bytes on a ROM page keep their contents.
        for (int i = 0; i < code.Size; ++i)
            Memory->SetByte(static_cast<u16>(Cursor + u32(i)), code.Code[std::size_t(i)]);
    }
    Cursor = (Cursor + code.Size) & 0xFFFF;
    // Every view that paints memory shows the new bytes.
    RepaintViews();
}
