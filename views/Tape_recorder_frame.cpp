#include "views/Tape_recorder_frame.h"

#include "core/Computer.h"
#include "core/Tape_recorder.h"
#include "platform/Application.h"

#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cmath>

Q_DECLARE_METATYPE(TTapeBlockInfo)

namespace {

constexpr int InfoRole = Qt::UserRole + 1;

// "m:ss.t" of a time in days.
QString TapeTime(double days)
{
    const double seconds = std::max(0.0, days * 86400.0);
    const i64 tenths = static_cast<i64>(std::llround(seconds * 10.0));
    return QStringLiteral("%1:%2.%3")
        .arg(tenths / 600)
        .arg((tenths / 10) % 60, 2, 10, QLatin1Char('0'))
        .arg(tenths % 10);
}

} // namespace

TTapeRecorderF::TTapeRecorderF(QWidget* owner, TTapeRecorder* recorder, TComputer* computer)
    : TViewF(owner)
    , Recorder(recorder)
    , Computer(computer)
{
    setFont(QFont(QStringLiteral("Tahoma"), 8));
    auto button = [this](const char* caption, int x) {
        auto* b = new QPushButton(QString::fromLatin1(caption), this);
        b->setGeometry(x, 8, 49, 25);
        b->setFocusPolicy(Qt::NoFocus);
        return b;
    };
    RecordB = button("Record", 8);
    PlayB = button("Play", 63);
    RewindB = button("Rewind", 118);
    ForwardB = button("Forward", 173);
    EjectB = button("Eject", 228);
    StopB = button("Stop", 283);

    BlockListLB = new QListWidget(this);
    BlockListLB->setGeometry(8, 64, 435, 232);
    BlockListLB->setUniformItemSizes(true);
    BlockListLB->setSelectionMode(QAbstractItemView::SingleSelection);

    PreferredWidth = 457;
    PreferredHeight = 297;

    connect(RecordB, &QPushButton::clicked, this, Guard([this] { RecordBClick(); }));
    connect(PlayB, &QPushButton::clicked, this, Guard([this] { PlayBClick(); }));
    connect(RewindB, &QPushButton::clicked, this, Guard([this] { RewindBClick(); }));
    connect(ForwardB, &QPushButton::clicked, this, Guard([this] { ForwardBClick(); }));
    connect(EjectB, &QPushButton::clicked, this, Guard([this] { EjectBClick(); }));
    connect(StopB, &QPushButton::clicked, this, Guard([this] { StopBClick(); }));
    connect(BlockListLB, &QListWidget::currentRowChanged, this, Guard([this] { SelectionChanged(); }));
    connect(BlockListLB, &QListWidget::itemClicked, this, Guard([this] { BlockListLBClick(); }));

    RebuildBlockList();

    TRFTimer = new QTimer(this);
    TRFTimer->setInterval(TimerIntervalMs);
    connect(TRFTimer, &QTimer::timeout, this, Guard([this] { TRFTimerTimer(); }));
    TRFTimer->start();
}

TTapeRecorderF::~TTapeRecorderF() = default;

void TTapeRecorderF::UpdateView() {}

void TTapeRecorderF::resizeEvent(QResizeEvent* event)
{
    TViewF::resizeEvent(event);
    // Anchored to all four sides, 8 pixels from the right and the bottom.
    BlockListLB->setGeometry(8, 64, std::max(0, width() - 16), std::max(0, height() - 72));
}

// ---------------------------------------------------------------------------
// The list and the buttons

void TTapeRecorderF::RebuildBlockList()
{
    Rebuilding = true;
    BlockListLB->clear();
    const TTape* tape = Recorder->GetTape();
    ListedTape = tape;
    ListedSum = tape ? tape->GetSum() : 0;
    if (tape) {
        for (i32 i = 0; i < tape->GetBlockCount(); ++i) {
            auto* item = new QListWidgetItem(QString::fromStdString(tape->GetBlockName(i)));
            item->setSizeHint(QSize(0, ItemHeight));
            item->setData(Qt::UserRole, i);
            if (const TTapeBlockInfo* info = tape->GetBlockInfo(i)) {
                item->setData(InfoRole, QVariant::fromValue(*info));
                item->setToolTip(QStringLiteral("Starts at %1, plays %2")
                                     .arg(TapeTime(info->Start), TapeTime(info->Duration)));
            }
            BlockListLB->addItem(item);
        }
        if (BlockListLB->count() > 0)
            BlockListLB->setCurrentRow(0);
    }
    SelectionChosen = false;
    Rebuilding = false;
    UpdateButtons();
}

std::optional<TTapeBlockInfo> TTapeRecorderF::GetItemInfo(int row) const
{
    const QListWidgetItem* item = BlockListLB->item(row);
    if (!item || !item->data(InfoRole).isValid())
        return std::nullopt;
    return item->data(InfoRole).value<TTapeBlockInfo>();
}

void TTapeRecorderF::UpdateButtons()
{
    const int count = BlockListLB->count();
    const int row = BlockListLB->currentRow();
    const bool playing = Recorder->IsPlaying();
    const bool any = count > 0;
    RecordB->setEnabled(false);
    PlayB->setEnabled(any && !playing);
    RewindB->setEnabled(any && row != 0);
    ForwardB->setEnabled(any && row != count - 1);
    EjectB->setEnabled(any);
    StopB->setEnabled(any && playing);
    WasPlaying = playing;
}

void TTapeRecorderF::TRFTimerTimer()
{
    const TTape* tape = Recorder->GetTape();
    if (tape != ListedTape || (tape && tape->GetSum() != ListedSum)) {
        RebuildBlockList();
        return;
    }
    // The deck stops by itself at the end of the tape or on a block it
    // cannot play: Play comes back at once.
    if (Recorder->IsPlaying() != WasPlaying)
        UpdateButtons();
}

void TTapeRecorderF::SelectionChanged()
{
    if (Rebuilding)
        return;
    SelectionChosen = true;
    UpdateButtons();
}

// ---------------------------------------------------------------------------
// Handlers

void TTapeRecorderF::RecordBClick() {}

void TTapeRecorderF::PlayBClick()
{
    {
        auto pause = Computer ? Computer->PauseRun() : TComputer::TPauseGuard();
        TTape* tape = Recorder->GetTape();
        const int row = BlockListLB->currentRow();
        if (tape && SelectionChosen && row >= 0 && !Recorder->IsPlaying())
            tape->SelectBlock(row);
        SelectionChosen = false;
        Recorder->Play();
    }
    UpdateButtons();
}

void TTapeRecorderF::StopBClick()
{
    {
        auto pause = Computer ? Computer->PauseRun() : TComputer::TPauseGuard();
        Recorder->Stop();
    }
    UpdateButtons();
}

void TTapeRecorderF::EjectBClick()
{
    {
        auto pause = Computer ? Computer->PauseRun() : TComputer::TPauseGuard();
        Recorder->Eject();
    }
    RebuildBlockList();
}

void TTapeRecorderF::RewindBClick()
{
    const int row = BlockListLB->currentRow();
    if (row > 0)
        BlockListLB->setCurrentRow(row - 1);
    UpdateButtons();
}

void TTapeRecorderF::ForwardBClick()
{
    const int row = BlockListLB->currentRow();
    if (row + 1 != BlockListLB->count())
        BlockListLB->setCurrentRow(row + 1);
    UpdateButtons();
}

void TTapeRecorderF::BlockListLBClick()
{
    // A click chooses, also on the row already selected.
    SelectionChosen = true;
    UpdateButtons();
}
