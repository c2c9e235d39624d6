// The dump dialogs while the machine runs: expressions that read the
// processor, loads into the memory the running program reads, and saves of
// the memory it writes, all from the user-interface thread. Run under
// ThreadSanitizer.
#include "tests/shell/Qt_test_app.h"
#include "tests/support/Fake_host_services.h"
#include "tests/support/Test_settings.h"

#include "core/Computer.h"
#include "core/Cpu_memory_array.h"
#include "core/Memory.h"
#include "core/Z80.h"
#include "tools/Expression.h"
#include "views/Load_dump.h"
#include "views/Save_dump.h"

#include <QCheckBox>
#include <QLineEdit>

#include <filesystem>
#include <fstream>
#include <memory>

TEST(DumpDialogThreads, LoadAndSaveWhileTheMachineRuns)
{
    TTestSettings settings;
    TFakeHostServices host;
    TTempFolder folder;
    TComputer computer(host.Services());
    TCpuMemoryArray memory(computer.Memory);
    // LD A,(#9000) / INC A / LD (#9001),A / JR back.
    const u8 program[] = {0x3A, 0x00, 0x90, 0x3C, 0x32, 0x01, 0x90, 0x18, 0xF7};
    for (u16 i = 0; i < sizeof program; ++i)
        computer.Memory->WriteByte(static_cast<u16>(0x8000 + i), program[i]);
    computer.Z80->PC = 0x8000;
    computer.SetNoSync(1);
    // Register names in the expressions read this processor.
    g_Expression->BindCpu(computer.Z80);

    const std::string in = folder.File("in.bin");
    {
        std::ofstream file(in, std::ios::binary);
        for (int i = 0; i < 256; ++i)
            file.put(static_cast<char>(i));
    }
    TLoadDumpF load;
    TSaveDumpF save;
    int stops = 0;
    ASSERT_TRUE(computer.Run([&] { ++stops; }));
    for (int round = 0; round < 10; ++round) {
        load.BeginForTest(&memory, &computer);
        load.LocationLE->setText(QString::fromStdString(in));
        load.AllCB->setChecked(true);
        load.StartDumpLE->setText(QStringLiteral("#9000+pc-pc"));
        load.LoadBBClick();
        load.AllCB->setChecked(false);
        load.EndForTest();

        const std::string out = folder.File("out" + std::to_string(round) + ".bin");
        save.BeginForTest(&memory, &computer);
        save.LocationLE->setText(QString::fromStdString(out));
        save.StartLE->setText(QStringLiteral("#9000"));
        save.EndLE->setText(QStringLiteral("#90FF"));
        save.SaveBBClick();
        save.EndForTest();
        EXPECT_EQ(std::filesystem::file_size(out), 256u);
    }
    EXPECT_TRUE(computer.IsRunActive());
    computer.Stop();
    EXPECT_EQ(stops, 1);
    // The program only writes #9001; every other loaded byte is in place.
    EXPECT_EQ(computer.Memory->ReadByte(0x9000), 0);
    EXPECT_EQ(computer.Memory->ReadByte(0x90FF), 0xFF);
}
