// The start-up word about ROMs: one warning box naming what could not be
// loaded, and none when everything loaded.
#include "tests/shell/Qt_test_app.h"
#include "tests/support/Test_settings.h"

#include "core/Memory.h"
#include "platform/Dialog_services.h"
#include "shell/Rom_report.h"

TEST(RomReport, AMissingRomIsToldOnceAndALoadedOneNotAtAll)
{
    TTestSettings settings;
    TScriptedMessageBoxes boxes;
    // The default "roms.rom" lies beside the test programs.
    ReportRomProblems(nullptr, TMemory(TMemory::Model128));
    EXPECT_TRUE(boxes.Shown().empty());

    TTempFolder folder;
    settings->Rom48File = folder.File("none.rom");
    ReportRomProblems(nullptr, TMemory(TMemory::Model48));
    ASSERT_EQ(boxes.Shown().size(), 1u);
    const TScriptedMessageBoxes::TBox& box = boxes.Shown()[0];
    EXPECT_EQ(box.Caption, QStringLiteral(" Warning!"));
    EXPECT_EQ(box.Icon, TMessageIcon::Warning);
    EXPECT_EQ(box.Buttons, TMessageButtons::Ok);
    EXPECT_EQ(box.Text, QStringLiteral("The 48 BASIC ROM (bank 1 of \"%1\") could not be loaded: no such file. "
                                       "Looked for as %1.\n"
                                       "The machine runs with random bytes in place of what could not be loaded.")
                            .arg(QString::fromStdString(folder.File("none.rom"))));
}
