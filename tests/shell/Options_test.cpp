// The Options dialog: the page tree, the border fields with their ranges,
// yellow marks, refusals and defaults, what a border change does to the
// renderer and to screen views (stopped: at once; running: at the next
// frame end, by the stepping thread), the zoom for new screen views, and
// the sync slider reaching the sound output.
#include "tests/shell/Qt_test_app.h"
#include "tests/support/Fake_host_services.h"
#include "tests/support/Fake_machine_host.h"
#include "tests/support/Test_settings.h"

#include "core/Computer.h"
#include "core/Memory.h"
#include "core/Z80.h"
#include "host/Direct_sound.h"
#include "host/Render.h"
#include "shell/Ide.h"
#include "shell/Options.h"
#include "views/Screen_frame.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <chrono>
#include <memory>
#include <thread>

namespace {

class Options : public ::testing::Test {
protected:
    void SetUp() override
    {
        Computer = std::make_unique<TComputer>(Host.Services());
        Dialog = std::make_unique<TOptionsF>();
        Dialog->SetComputer(Computer.get());
    }
    void TearDown() override
    {
        g_IDE.CloseAll();
        Settle();
        g_IDE.Init(nullptr, nullptr);
        g_DirectSound = nullptr;
    }

    void Select(const char* node) { Dialog->OptionsTV->setCurrentItem(Dialog->FindNode(QString::fromLatin1(node))); }
    QString Selected() const
    {
        const QTreeWidgetItem* item = Dialog->OptionsTV->currentItem();
        return item ? item->text(0) : QString();
    }
    static bool Yellow(const QLineEdit* edit) { return edit->palette().color(QPalette::Base) == QColor(Qt::yellow); }
    std::array<i32, 4> Stored() const
    {
        return {Settings->PixelsPerTVLeftBorder.load(), Settings->PixelsPerTVRightBorder.load(),
                Settings->LinesPerTVTopBorder.load(), Settings->LinesPerTVBottomBorder.load()};
    }

    TTestSettings Settings;
    TFakeHostServices Host;
    QWidget Owner;
    std::unique_ptr<TComputer> Computer;
    std::unique_ptr<TOptionsF> Dialog;
};

using TBorders = std::array<i32, 4>;

} // namespace

TEST_F(Options, TheTreeChoosesThePages)
{
    EXPECT_EQ(Dialog->windowTitle(), QStringLiteral("Options"));
    EXPECT_EQ(Dialog->size(), QSize(683, 411));
    EXPECT_EQ(Dialog->OptionsTV->topLevelItemCount(), 5);
    EXPECT_EQ(Dialog->FindNode(QStringLiteral("Kempston Joystick"))->parent()->text(0), QStringLiteral("Devices"));
    EXPECT_EQ(Dialog->FindNode(QStringLiteral("Sound"))->parent()->text(0), QStringLiteral("Emulator"));
    EXPECT_NE(Dialog->FindNode(QStringLiteral("Debuger")), nullptr);
    EXPECT_EQ(Dialog->GetCurrentPage(), TOptionsF::PageVideo) << "shown first";
    EXPECT_EQ(Selected(), QStringLiteral("Video"));

    const std::pair<const char*, int> nodes[] = {
        {"Timings", TOptionsF::PageTimings}, {"Sound", TOptionsF::PageSound},  {"Presets", TOptionsF::PageEmpty},
        {"Video", TOptionsF::PageVideo},     {"Memory", TOptionsF::PageEmpty}, {"Keys", TOptionsF::PageEmpty},
        {"Environment", TOptionsF::PageEmpty}, {"Emulator", TOptionsF::PageEmpty},
        {"Assembler", TOptionsF::PageEmpty}, {"Kempston Joystick", TOptionsF::PageEmpty}};
    for (const auto& [node, page] : nodes) {
        Select(node);
        EXPECT_EQ(Dialog->GetCurrentPage(), page) << node;
    }
    EXPECT_EQ(Dialog->OptionPC->currentWidget(), Dialog->EmptyTS);
    EXPECT_EQ(Dialog->GetBeeps(), 0);
}

TEST_F(Options, TheTimingsPageShowsTheBordersWithTheirMaxima)
{
    Settings->LinesPerTVTopBorder = 10;
    Select("Timings");
    EXPECT_EQ(Dialog->TVBorderLeftLE->text(), QStringLiteral("40"));
    EXPECT_EQ(Dialog->TVBorderRightLE->text(), QStringLiteral("36"));
    EXPECT_EQ(Dialog->TVBorderTopLE->text(), QStringLiteral("10"));
    EXPECT_EQ(Dialog->TVBorderBottomLE->text(), QStringLiteral("26"));
    EXPECT_EQ(Dialog->LeftUD->GetMax(), 72);
    EXPECT_EQ(Dialog->RightUD->GetMax(), 56);
    EXPECT_EQ(Dialog->TopUD->GetMax(), 64);
    EXPECT_EQ(Dialog->BottomUD->GetMax(), 48);
    EXPECT_EQ(Stored(), (TBorders{40, 36, 10, 26})) << "filling changes nothing";
    EXPECT_FALSE(Dialog->IsInvalid());
}

TEST_F(Options, ARefusedClickOrKeyLeavesTheHighlightOnThePageShown)
{
    Select("Timings");
    Dialog->show();
    Settle();
    Dialog->TVBorderTopLE->setText(QStringLiteral("999"));
    ASSERT_TRUE(Dialog->IsInvalid());
    const auto highlighted = [this] {
        QStringList texts;
        for (const QTreeWidgetItem* item : Dialog->OptionsTV->selectedItems())
            texts << item->text(0);
        return texts;
    };
    ASSERT_EQ(highlighted(), QStringList{"Timings"});

    // A click on another page's node.
    QTreeWidgetItem* sound = Dialog->FindNode(QStringLiteral("Sound"));
    QWidget* viewport = Dialog->OptionsTV->viewport();
    const QPoint at = viewport->mapToGlobal(Dialog->OptionsTV->visualItemRect(sound).center());
    Press(viewport, at);
    Release(viewport, at);
    Settle();
    EXPECT_EQ(Selected(), QStringLiteral("Timings"));
    EXPECT_EQ(highlighted(), QStringList{"Timings"});
    EXPECT_EQ(Dialog->GetCurrentPage(), TOptionsF::PageTimings);
    EXPECT_EQ(Dialog->GetBeeps(), 1);

    // The arrow keys.
    Dialog->OptionsTV->setFocus();
    for (const int key : {Qt::Key_Down, Qt::Key_Up}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(Dialog->OptionsTV, &press);
        EXPECT_EQ(Selected(), QStringLiteral("Timings"));
        EXPECT_EQ(highlighted(), QStringList{"Timings"});
    }
    EXPECT_EQ(Dialog->GetBeeps(), 3);

    // Valid again: the click changes the page and the highlight goes with it.
    Dialog->TVBorderTopLE->setText(QStringLiteral("20"));
    Press(viewport, at);
    Release(viewport, at);
    EXPECT_EQ(Selected(), QStringLiteral("Sound"));
    EXPECT_EQ(highlighted(), QStringList{"Sound"});
    EXPECT_EQ(Dialog->GetCurrentPage(), TOptionsF::PageSound);
}

TEST_F(Options, AnOutOfRangeBorderTurnsYellowStoresTheDefaultAndHoldsTheDialog)
{
    Select("Timings");
    Dialog->show();
    Dialog->TVBorderLeftLE->setText(QStringLiteral("80"));
    EXPECT_TRUE(Yellow(Dialog->TVBorderLeftLE));
    EXPECT_FALSE(Yellow(Dialog->TVBorderRightLE));
    EXPECT_EQ(Stored(), (TBorders{40, 36, 46, 26}));
    EXPECT_TRUE(Dialog->IsInvalid());

    Select("Sound");
    EXPECT_EQ(Selected(), QStringLiteral("Timings")) << "the selection goes back";
    EXPECT_EQ(Dialog->GetCurrentPage(), TOptionsF::PageTimings);
    Dialog->reject();
    EXPECT_TRUE(Dialog->isVisible()) << "closing is refused";
    EXPECT_EQ(Dialog->GetBeeps(), 2);

    Dialog->TVBorderLeftLE->setText(QStringLiteral("72"));
    EXPECT_FALSE(Yellow(Dialog->TVBorderLeftLE));
    EXPECT_EQ(Stored(), (TBorders{72, 36, 46, 26}));
    EXPECT_EQ(Computer->Render->GetTVLeftBorderPixels(), 72) << "stopped: the renderer takes it at once";
    Select("Sound");
    EXPECT_EQ(Dialog->GetCurrentPage(), TOptionsF::PageSound);
    Dialog->reject();
    EXPECT_FALSE(Dialog->isVisible());
}

TEST_F(Options, EmptyOrWordyFieldsCountAsMinusOne)
{
    Select("Timings");
    Dialog->TVBorderBottomLE->setText(QStringLiteral("30"));
    EXPECT_EQ(Stored()[3], 30);
    for (const char* text : {"", "abc", "-1", "49"}) {
        Dialog->TVBorderBottomLE->setText(QString::fromLatin1(text));
        EXPECT_TRUE(Yellow(Dialog->TVBorderBottomLE)) << text;
        EXPECT_EQ(Stored()[3], 26) << text;
        EXPECT_TRUE(Dialog->IsInvalid()) << text;
    }
    Dialog->TVBorderBottomLE->setText(QStringLiteral("0"));
    EXPECT_FALSE(Dialog->IsInvalid());
    EXPECT_EQ(Stored()[3], 0);
}

TEST_F(Options, ResetToDefaultClearsEveryMark)
{
    Select("Timings");
    Dialog->TVBorderLeftLE->setText(QStringLiteral("999"));
    Dialog->TVBorderTopLE->setText(QStringLiteral("x"));
    Dialog->TVBorderRightLE->setText(QStringLiteral("0"));
    Dialog->TVBorderResetBB->click();
    EXPECT_EQ(Stored(), (TBorders{40, 36, 46, 26}));
    EXPECT_FALSE(Dialog->IsInvalid());
    for (QLineEdit* edit : Dialog->BorderEdits())
        EXPECT_FALSE(Yellow(edit));
    EXPECT_EQ(Dialog->TVBorderRightLE->text(), QStringLiteral("36"));
}

TEST_F(Options, TheArrowsStepWithinTheRange)
{
    Select("Timings");
    Dialog->TVBorderLeftLE->setText(QStringLiteral("71"));
    Dialog->LeftUD->UpB->click();
    EXPECT_EQ(Dialog->TVBorderLeftLE->text(), QStringLiteral("72"));
    Dialog->LeftUD->UpB->click();
    EXPECT_EQ(Dialog->TVBorderLeftLE->text(), QStringLiteral("72"));
    EXPECT_EQ(Stored()[0], 72);
    Dialog->TVBorderTopLE->setText(QStringLiteral("0"));
    Dialog->TopUD->DownB->click();
    EXPECT_EQ(Dialog->TVBorderTopLE->text(), QStringLiteral("0"));
    // From a text that is no number, the last position.
    Dialog->TVBorderRightLE->setText(QStringLiteral("?"));
    Dialog->RightUD->DownB->click();
    EXPECT_EQ(Dialog->TVBorderRightLE->text(), QStringLiteral("35"));
    EXPECT_FALSE(Dialog->IsInvalid());
}

TEST_F(Options, BorderChangesReshapeScreenViewsShowingTheTVScreen)
{
    g_IDE.Init(&Owner, Computer.get());
    RegisterScreenView();
    auto* screen = qobject_cast<TScreenF*>(g_IDE.ShowView(TIDE::KindScreen));
    ASSERT_NE(screen, nullptr);
    screen->SetZoom(1);
    screen->SetDisplayArea(TScreenF::AreaTVScreen);
    ASSERT_EQ(screen->GetSourceRect().size(), QSize(40 + 256 + 36, 46 + 192 + 26));
    Select("Timings");
    Dialog->TVBorderLeftLE->setText(QStringLiteral("8"));
    Dialog->TVBorderBottomLE->setText(QStringLiteral("48"));
    EXPECT_EQ(screen->GetSourceRect().size(), QSize(8 + 256 + 36, 46 + 192 + 48));
    EXPECT_EQ(Computer->Render->GetTVBottomBorderLines(), 48);
}

TEST_F(Options, DuringARunTheSteppingThreadTakesTheChange)
{
    // JR $ forever, no pacing.
    Computer->Memory->WriteByte(0x8000, 0x18);
    Computer->Memory->WriteByte(0x8001, 0xFE);
    Computer->Z80->PC = 0x8000;
    Computer->SetNoSync(1);
    int stops = 0;
    ASSERT_TRUE(Computer->Run([&] { ++stops; }));
    Select("Timings");
    Dialog->TVBorderTopLE->setText(QStringLiteral("20"));
    EXPECT_EQ(Settings->LinesPerTVTopBorder.load(), 20);
    // The request is served at a frame end on the run thread.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (Computer->Render->HasRequests() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_FALSE(Computer->Render->HasRequests());
    EXPECT_TRUE(Computer->IsRunActive()) << "the run went on";
    Computer->Stop();
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(Computer->Render->GetTVTopBorderLines(), 20);
}

TEST_F(Options, TheZoomIsForScreenViewsOpenedLater)
{
    TScreenF before(&Owner, Computer.get());
    Select("Video");
    EXPECT_EQ(Dialog->ZoomCB->currentText(), QStringLiteral("1x2"));
    Dialog->ZoomCB->setCurrentIndex(2);
    EXPECT_EQ(Settings->DefaultZoom.load(), 3);
    TScreenF after(&Owner, Computer.get());
    EXPECT_EQ(after.GetZoom(), 3);
    EXPECT_EQ(before.GetZoom(), 2);
    Settings->DefaultZoom = 1;
    Select("Sound");
    Select("Video");
    EXPECT_EQ(Dialog->ZoomCB->currentIndex(), 0) << "filled from the settings when shown";
}

TEST_F(Options, TheSyncSliderReachesTheSoundOutput)
{
    TDirectSound sound(std::make_unique<TFakeSoundDevice>(), Host.Services());
    g_DirectSound = &sound;
    Select("Sound");
    EXPECT_EQ(Dialog->SyncValueTB->value(), -10);
    EXPECT_EQ(Dialog->SyncValueTB->minimum(), -100);
    EXPECT_EQ(Dialog->SyncValueTB->maximum(), 100);
    EXPECT_EQ(Dialog->SyncValueTB->tickInterval(), 5);
    const i32 before = sound.GetSyncShift();
    Dialog->SyncValueTB->setValue(-25);
    EXPECT_EQ(Settings->SoundSyncDelay.load(), -25);
    EXPECT_EQ(sound.GetSyncDelay(), -25) << "the pacing window follows at once";
    EXPECT_NE(sound.GetSyncShift(), before);
}

TEST_F(Options, ExecuteShowsTheCurrentSettingsModally)
{
    Select("Timings");
    Settings->PixelsPerTVRightBorder = 12;
    Dialog->SetComputer(nullptr);
    QTimer::singleShot(0, Dialog.get(), [&] {
        EXPECT_EQ(Dialog->TVBorderRightLE->text(), QStringLiteral("12"));
        Dialog->reject();
    });
    EXPECT_EQ(Dialog->Execute(Computer.get()), QDialog::Rejected);
}
