// The tape recorder view while the machine runs: Play, Stop, Eject and new
// tapes from the user-interface thread, the timer's reads, and the run
// thread playing the tape meanwhile. Run under ThreadSanitizer.
#include "tests/shell/Qt_test_app.h"
#include "tests/support/Fake_host_services.h"
#include "tests/support/Test_settings.h"

#include "core/Computer.h"
#include "core/Memory.h"
#include "core/Tape_recorder.h"
#include "core/Z80.h"
#include "media/File.h"
#include "media/Tape.h"
#include "views/Tape_recorder_frame.h"

#include <QListWidget>
#include <QTimer>

#include <chrono>
#include <memory>
#include <thread>

TEST(TapeRecorderViewThreads, TheDeckChangesWhileTheMachineReadsIt)
{
    TTestSettings settings;
    TFakeHostServices host;
    TComputer computer(host.Services());
    // IN A,(#FE) / JR back: the recorder is read on every pass.
    const u8 program[] = {0xDB, 0xFE, 0x18, 0xFC};
    for (u16 i = 0; i < sizeof program; ++i)
        computer.Memory->WriteByte(static_cast<u16>(0x8000 + i), program[i]);
    computer.Z80->PC = 0x8000;
    computer.SetNoSync(1);

    QWidget owner;
    TTapeRecorderF view(&owner, computer.TapeRecorder, &computer);
    view.TRFTimer->stop();
    const std::string tap = std::string(QUORVANE_TESTDATA_DIR) + "/media/tap/savetap_test.tap";

    int stops = 0;
    ASSERT_TRUE(computer.Run([&] { ++stops; }));
    for (int round = 0; round < 20; ++round) {
        {
            auto pause = computer.PauseRun();
            computer.TapeRecorder->SetTape(std::make_unique<TTape>(std::make_unique<TFile>(tap), TTape::TypeTAP));
        }
        view.TRFTimerTimer();
        ASSERT_EQ(view.BlockListLB->count(), 18);
        view.ForwardBClick();
        view.PlayBClick();
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
        view.TRFTimerTimer();
        if (round % 2)
            view.StopBClick();
        else
            view.EjectBClick();
    }
    EXPECT_TRUE(computer.IsRunActive());
    computer.Stop();
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(view.BlockListLB->count(), 18) << "the last round stopped without ejecting";
}
