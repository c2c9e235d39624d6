// The whole program under the offscreen platform with SDL's dummy audio
// driver: the main window with its real sound output, a screen view, a
// snapshot from the independent test material opened through the open
// dialog, a few seconds of emulated time paced by the sound output, then
// Esc. The picture
// the screen view shows must be the machine's screen memory, decoded here
// on its own terms (the Spectrum's screen layout and colours), and so must
// the published frame it paints from.
#include "tests/shell/Qt_test_app.h"
#include "tests/support/Test_settings.h"

#include "core/Clock.h"
#include "core/Computer.h"
#include "core/Display.h"
#include "core/Memory.h"
#include "core/Video_card.h"
#include "core/Z80.h"
#include "host/Direct_sound.h"
#include "host/Indexed_surface.h"
#include "host/Key_source.h"
#include "host/Render.h"
#include "platform/Dialog_services.h"
#include "platform/Sdl_sound_device.h"
#include "shell/Frames_form.h"
#include "shell/Ide.h"
#include "shell/Main.h"
#include "views/Screen_frame.h"

#include <QElapsedTimer>
#include <QImage>

#include <cstdlib>
#include <filesystem>
#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

// The colour of a Spectrum pixel: ink or paper 0-7 (bit 0 blue, bit 1 red,
// bit 2 green) at the normal level (0xBB) or the bright one (0xFF).
QRgb SpectrumColour(int colour, bool bright)
{
    const int level = bright ? 0xFF : 0xBB;
    return qRgb(colour & 2 ? level : 0, colour & 4 ? level : 0, colour & 1 ? level : 0);
}

// The colour at paper pixel (x, y) of a 6,912-byte screen, with flashing
// cells shown as stored (flash phase off).
// The colour of a paper pixel; a flashing cell swaps ink and paper while
// the flash is on.
QRgb DecodeScreenPixel(const std::function<u8(u16)>& read, int x, int y, bool flashOn = false)
{
    const u16 pixelAddress = static_cast<u16>(0x4000 | (y & 0xC0) << 5 | (y & 0x07) << 8 | (y & 0x38) << 2 | x >> 3);
    const u16 attributeAddress = static_cast<u16>(0x5800 + (y >> 3) * 32 + (x >> 3));
    const u8 attribute = read(attributeAddress);
    const bool flip = flashOn && (attribute & 0x80) != 0;
    const bool set = ((read(pixelAddress) >> (7 - (x & 7)) & 1) != 0) != flip;
    return SpectrumColour(set ? attribute & 7 : attribute >> 3 & 7, (attribute & 0x40) != 0);
}

bool WaitFor(const std::function<bool()>& done, int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > milliseconds)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

} // namespace

TEST(EndToEnd, ASnapshotRunsPacedBySoundAndTheScreenViewShowsItsScreenMemory)
{
    if (qEnvironmentVariableIsEmpty("SDL_AUDIODRIVER"))
        qputenv("SDL_AUDIODRIVER", "dummy");
    TTestSettings settings;
    // The blinking beam marker of a stopped machine would stand in the
    // pictures compared below, on a time that is not the test's.
    settings->RayPosition = 0;
    TClock clock;
    g_Clock = &clock;
    TKeyBuffer keys;
    TApplicationTitle title;
    TScriptedMessageBoxes boxes;
    TScriptedFileDialogs files;
    TTempFolder folder;

    TMainParts parts;
    parts.Services = {TApplication::Instance(), TApplication::Instance(), &title};
    parts.SoundDevice = std::make_unique<TSdlSoundDevice>();
    parts.KeySource = &keys;
    auto main = std::make_unique<TMainF>(std::move(parts));
    main->show();
    TComputer& computer = *main->GetComputer();

    main->ViewActions[TIDE::KindScreen]->trigger();
    Settle();
    auto* screen = dynamic_cast<TScreenF*>(g_Display);
    ASSERT_NE(screen, nullptr);

    const std::string snapshot = folder.File("game.sna");
    std::filesystem::copy_file(std::string(QUORVANE_TESTDATA_DIR) + "/media/sna/tape_128k.sna", snapshot);
    files.Answer(QString::fromStdString(snapshot));
    main->OpenMI->trigger();
    ASSERT_TRUE(boxes.Shown().empty()) << boxes.Shown()[0].Text.toStdString();

    // Three seconds of emulated time, paced by the sound output (SDL's
    // dummy driver may take its samples faster than real time).
    // Frames are counted through the clock: the processor's own counter
    // belongs to the run thread while the machine runs.
    const u32 firstFrame = clock.GetFrames();
    main->RunA->trigger();
    ASSERT_TRUE(computer.IsRunActive());
    ASSERT_TRUE(WaitFor([&] { return clock.GetFrames() - firstFrame >= 150; }, 60000));
    EXPECT_GT(clock.GetFps(), 0u);
    main->StopA->trigger();
    ASSERT_TRUE(WaitFor([&] { return main->RunA->isEnabled(); }, 10000));
    Settle();
    for (const auto& box : boxes.Shown())
        ADD_FAILURE() << box.Caption.toStdString() << ": " << box.Text.toStdString();

    // The published frame, indexed, at the paper's place in the raster.
    std::vector<u8> pixels;
    TIndexedSurface::TColourTable colours{};
    i32 width = 0;
    i32 height = 0;
    computer.Render->GetDC()->CopyFront(pixels, colours, width, height);
    ASSERT_EQ(width, 448);
    ASSERT_EQ(height, 320);
    // What the view paints over the whole raster, at its default zoom (2)
    // and then at the others: both corners of each pixel's block.
    ASSERT_EQ(screen->GetZoom(), 2);
    ASSERT_EQ(screen->GetSourceRect(), QRect(0, 0, 448, 320));
    std::vector<std::pair<int, QImage>> paintedAtZoom;
    for (const int zoom : {2, 1, 3}) {
        screen->SetZoom(zoom);
        Settle();
        paintedAtZoom.emplace_back(zoom, screen->ScreenPB->grab().toImage().convertToFormat(QImage::Format_RGB32));
        ASSERT_GE(paintedAtZoom.back().second.width(), 448 * zoom);
        ASSERT_GE(paintedAtZoom.back().second.height(), 320 * zoom);
    }

    // The page the machine shows its screen from (bank 5, or 7 when the
    // paging selected it).
    const u8* page = computer.VideoCard->GetScreenMemory();
    ASSERT_NE(page, nullptr);
    auto read = [page](u16 address) { return page[address - 0x4000]; };
    // The flash turns on the clock's time, also while stopped, so each
    // picture is compared in the phase it was taken in: one of the two
    // phases must match it whole.
    std::array<int, 2> frameMismatches{};
    std::vector<std::array<int, 2>> paintMismatches(paintedAtZoom.size());
    int inked = 0;
    for (int y = 0; y < 192; ++y)
        for (int x = 0; x < 256; ++x) {
            const int rx = 136 + x;
            const int ry = 80 + y;
            const QRgb published = colours[pixels[std::size_t(ry * width + rx)]] | 0xFF000000u;
            for (const int phase : {0, 1}) {
                const QRgb expected = DecodeScreenPixel(read, x, y, phase == 1);
                frameMismatches[phase] += published != expected;
                for (std::size_t i = 0; i < paintedAtZoom.size(); ++i) {
                    const auto& [zoom, painted] = paintedAtZoom[i];
                    paintMismatches[i][phase] += painted.pixel(zoom * rx, zoom * ry) != expected
                                                 || painted.pixel(zoom * rx + zoom - 1, zoom * ry + zoom - 1) != expected;
                }
            }
            if (DecodeScreenPixel(read, x, y) != DecodeScreenPixel(read, 0, 0))
                ++inked;
        }
    EXPECT_EQ(std::min(frameMismatches[0], frameMismatches[1]), 0) << "published frame";
    for (std::size_t i = 0; i < paintedAtZoom.size(); ++i)
        EXPECT_EQ(std::min(paintMismatches[i][0], paintMismatches[i][1]), 0)
            << "painted at zoom " << paintedAtZoom[i].first;
    // The picture has something on it to compare.
    EXPECT_GT(inked, 100);

    main.reset();
    Settle();
    g_Clock = nullptr;
}
