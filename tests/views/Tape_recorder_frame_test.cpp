// The tape recorder view: its buttons for every deck state, the block list
// of an inserted tape (rows against the image's own block layout),
// Play from the chosen block or on from where the tape is, Eject, and the
// timer that notices tapes changed and decks stopped from elsewhere.
#include "tests/shell/Qt_test_app.h"
#include "tests/support/Fake_host_services.h"
#include "tests/support/Test_settings.h"

#include "core/Computer.h"
#include "core/Tape_recorder.h"
#include "media/File.h"
#include "media/Tape.h"
#include "views/Tape_recorder_frame.h"

#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include <memory>
#include <string>
#include <vector>

namespace {

const std::string SaveTapTest = std::string(QUORVANE_TESTDATA_DIR) + "/media/tap/savetap_test.tap";
const std::string CodeTap = std::string(QUORVANE_FIXTURES_DIR) + "/tape/code.tap";

std::unique_ptr<TTape> LoadTape(const std::string& path)
{
    return std::make_unique<TTape>(std::make_unique<TFile>(path), TTape::TypeTAP);
}

class TapeRecorderView : public ::testing::Test {
protected:
    void SetUp() override
    {
        Computer = std::make_unique<TComputer>(Host.Services());
        Recorder = Computer->TapeRecorder;
        View = std::make_unique<TTapeRecorderF>(&Owner, Recorder, Computer.get());
        View->TRFTimer->stop();  // the test ticks
    }

    // Enabled buttons as letters: R P W F E S (Record, Play, reWind,
    // Forward, Eject, Stop).
    std::string Buttons() const
    {
        std::string on;
        const std::pair<QPushButton*, char> buttons[] = {{View->RecordB, 'R'}, {View->PlayB, 'P'},
                                                         {View->RewindB, 'W'}, {View->ForwardB, 'F'},
                                                         {View->EjectB, 'E'}, {View->StopB, 'S'}};
        for (const auto& [button, letter] : buttons)
            if (button->isEnabled())
                on += letter;
        return on;
    }
    int Row() const { return View->BlockListLB->currentRow(); }
    int Rows() const { return View->BlockListLB->count(); }
    void Insert(const std::string& path)
    {
        Recorder->SetTape(LoadTape(path));
        View->TRFTimerTimer();
    }

    TTestSettings Settings;
    TFakeHostServices Host;
    QWidget Owner;
    std::unique_ptr<TComputer> Computer;
    TTapeRecorder* Recorder = nullptr;
    std::unique_ptr<TTapeRecorderF> View;
};

} // namespace

TEST_F(TapeRecorderView, WithoutATapeEverythingIsOff)
{
    EXPECT_EQ(Rows(), 0);
    EXPECT_EQ(Buttons(), "");
    View->TRFTimerTimer();
    EXPECT_EQ(Buttons(), "");
    // The list follows the view's size on all four sides.
    View->show();
    View->resize(600, 400);
    Settle();
    EXPECT_EQ(View->BlockListLB->geometry(), QRect(8, 64, 584, 328));
}

TEST_F(TapeRecorderView, ATapeInsertedElsewhereIsListedAtTheNextTick)
{
    Recorder->SetTape(LoadTape(SaveTapTest));
    EXPECT_EQ(Rows(), 0) << "not before the tick";
    View->TRFTimerTimer();
    const TTape* tape = Recorder->GetTape();
    ASSERT_EQ(Rows(), 18);
    EXPECT_EQ(Row(), 0);
    EXPECT_EQ(Buttons(), "PFE");
    for (int i = 0; i < Rows(); ++i)
        EXPECT_EQ(View->BlockListLB->item(i)->text(), QString::fromStdString(tape->GetBlockName(i)));

    // Each row carries its block: where it lies in the image (each TAP
    // block is a length word and that many bytes), and its time on the
    // tape, which starts where the row before it ends.
    const TFile image(SaveTapTest);
    u32 offset = 0;
    double start = 0.0;
    for (int i = 0; i < Rows(); ++i) {
        const std::optional<TTapeBlockInfo> info = View->GetItemInfo(i);
        ASSERT_TRUE(info.has_value()) << i;
        EXPECT_EQ(info->Offset, offset) << "block " << i;
        EXPECT_NEAR(info->Start, start, 1e-12) << "block " << i;
        EXPECT_GT(info->Duration, 0.0) << "block " << i;
        EXPECT_FALSE(View->BlockListLB->item(i)->toolTip().isEmpty());
        offset += 2u + image.GetWordAt(offset);
        start = info->Start + info->Duration;
    }
    EXPECT_EQ(offset, u32(image.GetSize())) << "the rows cover the whole image";
    EXPECT_FALSE(View->GetItemInfo(18).has_value());
}

TEST_F(TapeRecorderView, RewindAndForwardWalkTheListWithinItsEnds)
{
    Insert(SaveTapTest);
    View->RewindBClick();
    EXPECT_EQ(Row(), 0);
    View->ForwardBClick();
    EXPECT_EQ(Row(), 1);
    EXPECT_EQ(Buttons(), "PWFE");
    for (int i = 0; i < 30; ++i)
        View->ForwardBClick();
    EXPECT_EQ(Row(), 17);
    EXPECT_EQ(Buttons(), "PWE");
    View->RewindBClick();
    EXPECT_EQ(Row(), 16);

    Insert(CodeTap);  // two blocks
    EXPECT_EQ(Rows(), 2);
    EXPECT_EQ(Buttons(), "PFE");
    View->ForwardBClick();
    EXPECT_EQ(Buttons(), "PWE");
}

TEST_F(TapeRecorderView, PlayAndStopSwitchTheDeckAndTheirButtons)
{
    Insert(SaveTapTest);
    View->PlayB->click();
    EXPECT_TRUE(Recorder->IsPlaying());
    EXPECT_EQ(Buttons(), "FES");
    View->StopB->click();
    EXPECT_FALSE(Recorder->IsPlaying());
    EXPECT_EQ(Buttons(), "PFE");
}

TEST_F(TapeRecorderView, PlayStartsFromTheChosenBlockOrGoesOn)
{
    Insert(SaveTapTest);
    TTape* tape = Recorder->GetTape();
    tape->SelectBlock(5);  // where an earlier play left the tape
    View->PlayBClick();
    EXPECT_EQ(tape->GetCurrentIndex(), 5) << "no block chosen: the tape goes on";
    View->StopBClick();

    View->ForwardBClick();
    View->ForwardBClick();
    EXPECT_EQ(Row(), 2);
    View->PlayBClick();
    EXPECT_EQ(tape->GetCurrentIndex(), 2) << "the chosen block";
    EXPECT_FALSE(View->IsSelectionChosen());
    View->StopBClick();

    // A click on the row already selected chooses it too.
    tape->SelectBlock(9);
    View->BlockListLB->setCurrentRow(2);
    View->BlockListLBClick();
    View->PlayBClick();
    EXPECT_EQ(tape->GetCurrentIndex(), 2);
}

TEST_F(TapeRecorderView, EjectEmptiesDeckAndList)
{
    Insert(SaveTapTest);
    View->PlayBClick();
    View->EjectB->click();
    EXPECT_EQ(Recorder->GetTape(), nullptr);
    EXPECT_FALSE(Recorder->IsPlaying());
    EXPECT_EQ(Rows(), 0);
    EXPECT_EQ(Buttons(), "");
    View->TRFTimerTimer();
    EXPECT_EQ(Rows(), 0);
}

TEST_F(TapeRecorderView, ADeckThatStoppedByItselfOffersPlayAgain)
{
    Insert(SaveTapTest);
    View->PlayBClick();
    ASSERT_EQ(Buttons(), "FES");
    Recorder->Stop();  // as at the end of the tape, not through the view
    View->TRFTimerTimer();
    EXPECT_EQ(Buttons(), "PFE");
    Recorder->Play();
    View->TRFTimerTimer();
    EXPECT_EQ(Buttons(), "FES");
}

TEST_F(TapeRecorderView, EveryViewListsANewTapeAndDropsAnEjectedOne)
{
    TTapeRecorderF second(&Owner, Recorder, Computer.get());
    second.TRFTimer->stop();
    Insert(SaveTapTest);
    second.TRFTimerTimer();
    EXPECT_EQ(Rows(), 18);
    EXPECT_EQ(second.BlockListLB->count(), 18);

    // The same image inserted again is a new tape at its first block.
    View->ForwardBClick();
    Insert(SaveTapTest);
    EXPECT_EQ(Row(), 0);
    EXPECT_FALSE(View->IsSelectionChosen());

    Insert(CodeTap);
    second.TRFTimerTimer();
    EXPECT_EQ(Rows(), 2);
    EXPECT_EQ(second.BlockListLB->count(), 2);

    Recorder->Eject();  // elsewhere
    View->TRFTimerTimer();
    second.TRFTimerTimer();
    EXPECT_EQ(Rows(), 0);
    EXPECT_EQ(second.BlockListLB->count(), 0);
    EXPECT_EQ(second.PlayB->isEnabled(), false);
}

TEST_F(TapeRecorderView, TheTimerRunsByItself)
{
    View->TRFTimer->start();
    Recorder->SetTape(LoadTape(CodeTap));
    for (int i = 0; i < 100 && Rows() == 0; ++i) {
        QTimer::singleShot(20, [] {});
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    EXPECT_EQ(Rows(), 2);
}
