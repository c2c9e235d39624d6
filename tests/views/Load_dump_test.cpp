// The load-dump dialog: the order of its checks and their messages, the
// values it writes back into its edits, what a load puts where in memory
// (whole 64 KB, wrapping, ROM left alone), files that change under it, and
// the modal round trip through Execute.
#include "tests/shell/Qt_test_app.h"
#include "tests/support/Fake_host_services.h"
#include "tests/support/Test_settings.h"

#include "core/Computer.h"
#include "core/Cpu_memory_array.h"
#include "core/Memory.h"
#include "core/Z80.h"
#include "platform/Dialog_services.h"
#include "views/Load_dump.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <vector>

namespace {

class LoadDump : public ::testing::Test {
protected:
    void SetUp() override
    {
        Computer = std::make_unique<TComputer>(Host.Services());
        Memory = std::make_unique<TCpuMemoryArray>(Computer->Memory);
        Dialog = std::make_unique<TLoadDumpF>();
    }

    // A file of n bytes, byte i = (i * 7 + i / 256) & 0xFF, so that every
    // 256-byte page differs.
    std::string MakeFile(const std::string& name, i64 n)
    {
        const std::string path = Folder.File(name);
        std::ofstream out(path, std::ios::binary);
        for (i64 i = 0; i < n; ++i)
            out.put(static_cast<char>(Pattern(i)));
        return path;
    }
    static u8 Pattern(i64 i) { return static_cast<u8>(i * 7 + i / 256); }

    void Begin() { Dialog->BeginForTest(Memory.get(), Computer.get()); }
    void Type(QLineEdit* edit, const char* text) { edit->setText(QString::fromLatin1(text)); }
    QString Status() const { return Dialog->StatusL->text(); }
    bool LoadEnabled() const { return Dialog->LoadBB->isEnabled(); }
    u8 At(u16 address) const { return Computer->Memory->ReadByte(address); }

    // Fills the dialog for: file, offsets from..from+length-1, memory start.
    void Fill(const std::string& path, const char* from, const char* length, const char* start)
    {
        Begin();
        Dialog->LocationLE->setText(QString::fromStdString(path));
        Type(Dialog->FromLE, from);
        Type(Dialog->LengthLE, length);
        Type(Dialog->StartDumpLE, start);
    }

    TTestSettings Settings;
    TFakeHostServices Host;
    TTempFolder Folder;
    TScriptedMessageBoxes Boxes;
    TScriptedFileDialogs Files;
    std::unique_ptr<TComputer> Computer;
    std::unique_ptr<TCpuMemoryArray> Memory;
    std::unique_ptr<TLoadDumpF> Dialog;
};

} // namespace

TEST_F(LoadDump, WithoutAFileOnlyTheFileIsAskedFor)
{
    Begin();
    Type(Dialog->FromLE, "0");
    Type(Dialog->StartDumpLE, "#FFFFFF");  // out of range too
    EXPECT_EQ(Status(), QString::fromLatin1(TLoadDumpF::NoFileError));
    EXPECT_FALSE(LoadEnabled());

    Type(Dialog->LocationLE, "/no/such/file.bin");
    EXPECT_EQ(Status(), QStringLiteral("Selected file not found!"));
    Dialog->LocationLE->setText(QString::fromStdString(Folder.Path()));  // a folder
    EXPECT_EQ(Status(), QStringLiteral("Can not open selected file!"));
    Dialog->LocationLE->clear();
    EXPECT_EQ(Status(), QString::fromLatin1(TLoadDumpF::NoFileError));
    EXPECT_FALSE(Dialog->IsFileValid());
}

TEST_F(LoadDump, FieldsNeverTypedAreAskedForInOrderAlsoAfterReopening)
{
    // Before any check: an empty status line and Load offered.
    EXPECT_TRUE(Status().isEmpty());
    EXPECT_TRUE(LoadEnabled());
    const std::string path = MakeFile("a.bin", 100);
    Begin();
    Dialog->LocationLE->setText(QString::fromStdString(path));
    EXPECT_EQ(Status(), QStringLiteral("You must input From file position!"));
    Dialog->EndForTest();
    Begin();
    EXPECT_EQ(Status(), QStringLiteral("You must input From file position!"));
    Type(Dialog->FromLE, "10");
    EXPECT_EQ(Status(), QStringLiteral("You must input To file position!"));
    Type(Dialog->ToLE, "19");
    EXPECT_EQ(Status(), QStringLiteral("You must input length of loading block!"));
    Type(Dialog->LengthLE, "10");
    EXPECT_EQ(Status(), QStringLiteral("You must input Memory Block Start!"));
    EXPECT_FALSE(LoadEnabled());
    Type(Dialog->StartDumpLE, "#8000");
    EXPECT_TRUE(Status().isEmpty());
    EXPECT_TRUE(LoadEnabled());
}

TEST_F(LoadDump, EachCheckHasItsMessage)
{
    const std::string path = MakeFile("a.bin", 100);
    struct TCase {
        const char* From;
        const char* Length;
        const char* To;  // typed last, when set
        const char* Start;
        bool Wrap;
        const char* Message;  // empty: accepted
    };
    const std::vector<TCase> cases = {
        {"0", "100", nullptr, "0", false, ""},
        {"100", "1", nullptr, "0", false, "From position must be in file size range!"},
        {"-1", "1", nullptr, "0", false, "From position must be in file size range!"},
        {"0", "101", nullptr, "0", false, "To position must be in file size range!"},
        {"50", "10", "40", "0", false, "From position must be not above To position!"},
        {"0", "10", nullptr, "#10000", false, "Start position must be in range 0-65535!"},
        {"0", "10", nullptr, "-1", false, "Start position must be in range 0-65535!"},
        {"0", "10", nullptr, "#FFF7", false, "Block size is too big to fit in memory!"},
        {"0", "10", nullptr, "#FFF6", false, ""},
        {"0", "10", nullptr, "#FFF7", true, ""},
        {"0", "10", nullptr, "$+1", false, ""},
    };
    for (const TCase& c : cases) {
        Dialog = std::make_unique<TLoadDumpF>();
        Dialog->WrapCheckBox->setChecked(c.Wrap);
        Fill(path, c.From, c.Length, c.Start);
        if (c.To)
            Type(Dialog->ToLE, c.To);
        EXPECT_EQ(Status(), QString::fromLatin1(c.Message)) << c.From << " " << c.Length << " " << c.Start;
        EXPECT_EQ(LoadEnabled(), *c.Message == 0) << c.From << " " << c.Length << " " << c.Start;
    }
}

TEST_F(LoadDump, TypingALengthMovesTheEndAndTypingAnEndMovesTheLength)
{
    const std::string path = MakeFile("a.bin", 0x300);
    Fill(path, "#10", "#20", "#8000");
    EXPECT_EQ(Dialog->ToLE->text(), QStringLiteral("#002F"));
    EXPECT_EQ(Dialog->GetTo(), 0x2F);
    EXPECT_TRUE(LoadEnabled());
    Type(Dialog->ToLE, "#1FF");
    EXPECT_EQ(Dialog->GetLength(), 0x1F0);
    EXPECT_EQ(Dialog->LengthLE->text(), QStringLiteral("#01F0"));
    EXPECT_EQ(Dialog->GetFrom(), 0x10) << "the start stays";
    Type(Dialog->FromLE, "#100");
    EXPECT_EQ(Dialog->GetLength(), 0x100);
    EXPECT_EQ(Dialog->GetTo(), 0x1FF) << "the end stays";
}

TEST_F(LoadDump, DollarIsTheProgramCounter)
{
    const std::string path = MakeFile("a.bin", 16);
    Computer->Z80->PC = 0x9000;
    Fill(path, "0", "16", "$+#10");
    EXPECT_EQ(Dialog->GetMemoryStart(), 0x9010);
}

TEST_F(LoadDump, ABadExpressionKeepsTheOldValueAndCountsAsEntered)
{
    const std::string path = MakeFile("a.bin", 100);
    Fill(path, "5", "10", "#8000");
    ASSERT_TRUE(LoadEnabled());
    Type(Dialog->FromLE, "5+");
    EXPECT_EQ(Status(), QStringLiteral("Invalid 'Start Offset' expression!"));
    EXPECT_FALSE(LoadEnabled());
    EXPECT_EQ(Dialog->GetFrom(), 5);
    Type(Dialog->ToLE, "oops");
    EXPECT_EQ(Status(), QStringLiteral("Invalid 'End Offset' expression!"));
    Type(Dialog->LengthLE, "(");
    EXPECT_EQ(Status(), QStringLiteral("Invalid 'Block Length' expression!"));
    Type(Dialog->StartDumpLE, "#");
    EXPECT_EQ(Status(), QStringLiteral("Invalid 'Start Dump' expression!"));
    // A good value in one field checks again with the others kept.
    Type(Dialog->StartDumpLE, "#8000");
    EXPECT_TRUE(Status().isEmpty());
    EXPECT_TRUE(LoadEnabled());
    EXPECT_EQ(Dialog->GetFrom(), 5);
    EXPECT_EQ(Dialog->GetTo(), 14);
    EXPECT_EQ(Dialog->GetLength(), 10);
}

TEST_F(LoadDump, EditsChangedOutsideExecuteChangeNothing)
{
    const std::string path = MakeFile("a.bin", 100);
    Fill(path, "5", "10", "#8000");
    Dialog->EndForTest();
    Type(Dialog->FromLE, "50");
    Type(Dialog->StartDumpLE, "zz");
    EXPECT_EQ(Dialog->GetFrom(), 5);
    EXPECT_EQ(Dialog->GetMemoryStart(), 0x8000);
    EXPECT_TRUE(Status().isEmpty());
}

TEST_F(LoadDump, AllFileTakesTheWholeFileAndLocksTheOffsets)
{
    const std::string path = MakeFile("a.bin", 0x10000);
    Begin();
    Dialog->LocationLE->setText(QString::fromStdString(path));
    Type(Dialog->StartDumpLE, "0");
    Dialog->AllCB->setChecked(true);
    EXPECT_FALSE(Dialog->FromLE->isEnabled());
    EXPECT_FALSE(Dialog->ToLE->isEnabled());
    EXPECT_FALSE(Dialog->LengthLE->isEnabled());
    EXPECT_EQ(Dialog->FromLE->text(), QStringLiteral("#0000"));
    EXPECT_EQ(Dialog->ToLE->text(), QStringLiteral("#FFFF"));
    // 65536 needs a fifth digit; it must read back as the same number.
    EXPECT_EQ(Dialog->LengthLE->text(), QStringLiteral("#10000"));
    EXPECT_TRUE(Status().isEmpty());

    // The whole 64 KB, every byte, when the memory takes them all.
    Computer->Memory->MakeFlatRam();
    Dialog->LoadBBClick();
    for (i64 a = 0; a < 0x10000; ++a)
        ASSERT_EQ(At(static_cast<u16>(a)), Pattern(a)) << "address " << a;
    EXPECT_TRUE(Boxes.Shown().empty());
    Dialog->AllCB->setChecked(false);
    EXPECT_TRUE(Dialog->FromLE->isEnabled());
}

TEST_F(LoadDump, ABlockMayEndAtFFFFButNotPassItUnlessItWraps)
{
    const std::string path = MakeFile("a.bin", 0x8000);
    Fill(path, "0", "#4000", "#C000");
    EXPECT_TRUE(LoadEnabled()) << Status().toStdString();
    Type(Dialog->LengthLE, "#4001");
    EXPECT_EQ(Status(), QStringLiteral("Block size is too big to fit in memory!"));

    // Wrapping: 0xFFF0-0xFFFF, then 0x0000-0x000F.
    Computer->Memory->MakeFlatRam();
    Dialog->WrapCheckBox->setChecked(true);
    Fill(path, "0", "#20", "#FFF0");
    ASSERT_TRUE(LoadEnabled());
    const u8 after = At(0x0010);
    Dialog->LoadBBClick();
    for (i64 i = 0; i < 0x20; ++i)
        EXPECT_EQ(At(static_cast<u16>(0xFFF0 + i)), Pattern(i)) << i;
    EXPECT_EQ(At(0x0010), after) << "nothing past the block";
}

TEST_F(LoadDump, LongFilesRefuseLengthsAbove64K)
{
    const std::string path = MakeFile("big.bin", 0x20000);
    Begin();
    Dialog->LocationLE->setText(QString::fromStdString(path));
    Type(Dialog->StartDumpLE, "0");
    Dialog->AllCB->setChecked(true);
    EXPECT_EQ(Status(), QStringLiteral("Block length must be in range 1-65536!"));
    EXPECT_EQ(Dialog->ToLE->text(), QStringLiteral("#1FFFF"));
    Dialog->AllCB->setChecked(false);

    Type(Dialog->FromLE, "0");
    Type(Dialog->LengthLE, "16");
    EXPECT_TRUE(LoadEnabled());
    Type(Dialog->ToLE, "#1FFFF");
    EXPECT_EQ(Status(), QStringLiteral("Block length must be in range 1-65536!"));
    EXPECT_EQ(Dialog->GetLength(), 0x20000);
    EXPECT_EQ(Dialog->LengthLE->text(), QStringLiteral("#20000"));
}

TEST_F(LoadDump, ALoadWritesRamAndLeavesRomAlone)
{
    const std::string path = MakeFile("a.bin", 0x100);
    Fill(path, "#80", "#80", "#3FC0");  // straddles the ROM's end at 0x4000
    ASSERT_TRUE(LoadEnabled());
    std::vector<u8> rom;
    for (u16 a = 0x3FC0; a < 0x4000; ++a)
        rom.push_back(At(a));
    Dialog->LoadBBClick();
    for (u16 a = 0x3FC0; a < 0x4000; ++a)
        EXPECT_EQ(At(a), rom[a - 0x3FC0]) << "ROM at " << a;
    for (i64 i = 0x40; i < 0x80; ++i)
        EXPECT_EQ(At(static_cast<u16>(0x3FC0 + i)), Pattern(0x80 + i));
    EXPECT_EQ(Dialog->result(), QDialog::Accepted);
}

TEST_F(LoadDump, AFileThatShrankChangesNoByteAndSaysSo)
{
    // The file is chosen and checked, then cut at every length below the
    // block's end (and a few random ones): the load reports, memory keeps
    // every byte; a cut past the block's end still loads.
    const std::string path = MakeFile("a.bin", 0x200);
    std::mt19937 random(7);
    std::vector<i64> cuts = {0, 1, 0x100, 0x17F, 0x180, 0x1FF};
    for (int i = 0; i < 6; ++i)
        cuts.push_back(random() % 0x200);
    for (i64 cut : cuts) {
        MakeFile("a.bin", 0x200);
        for (u16 a = 0x8000; a < 0x8100; ++a)
            Computer->Memory->WriteByte(a, 0xAA);
        Dialog = std::make_unique<TLoadDumpF>();
        Fill(path, "#80", "#100", "#8000");
        ASSERT_TRUE(LoadEnabled());
        std::filesystem::resize_file(path, static_cast<std::uintmax_t>(cut));
        const size_t before = Boxes.Shown().size();
        Dialog->LoadBBClick();
        if (cut >= 0x180) {
            EXPECT_EQ(Boxes.Shown().size(), before) << "cut " << cut;
            EXPECT_EQ(At(0x8000), Pattern(0x80)) << "cut " << cut;
            continue;
        }
        ASSERT_EQ(Boxes.Shown().size(), before + 1) << "cut " << cut;
        EXPECT_EQ(Boxes.Shown().back().Caption, QStringLiteral(" Error!"));
        EXPECT_EQ(Boxes.Shown().back().Text, QStringLiteral("Can't load memory block from binary file."));
        EXPECT_EQ(Boxes.Shown().back().Icon, TMessageIcon::Error);
        for (u16 a = 0x8000; a < 0x8100; ++a)
            ASSERT_EQ(At(a), 0xAA) << "cut " << cut << " address " << a;
        EXPECT_EQ(Dialog->result(), QDialog::Accepted) << "Load closes the dialog in every case";
    }
}

TEST_F(LoadDump, ClearingWrapAfterTheCheckStopsTheLoad)
{
    // The Wrap box starts no check; the Load click checks again.
    const std::string path = MakeFile("a.bin", 0x40);
    Dialog->WrapCheckBox->setChecked(true);
    Fill(path, "0", "#40", "#FFE0");
    ASSERT_TRUE(LoadEnabled());
    Dialog->WrapCheckBox->setChecked(false);
    EXPECT_TRUE(LoadEnabled()) << "no check of its own";
    // RAM starts with random bytes: mark the block's place, so that a load
    // shows whatever those bytes were.
    for (u16 a = 0xFFE0; a != 0; ++a)
        Computer->Memory->WriteByte(a, 0xAA);
    const u8 low = At(0x0000);
    Dialog->LoadBBClick();
    EXPECT_EQ(Status(), QStringLiteral("Block size is too big to fit in memory!"));
    for (u16 a = 0xFFE0; a != 0; ++a)
        ASSERT_EQ(At(a), 0xAA) << "nothing loaded at " << a;
    EXPECT_EQ(At(0x0000), low);
    EXPECT_TRUE(Boxes.Shown().empty());
}

TEST_F(LoadDump, ReopeningMeasuresTheFileAgain)
{
    const std::string path = MakeFile("a.bin", 0x100);
    Fill(path, "0", "#100", "#8000");
    ASSERT_TRUE(LoadEnabled());
    Dialog->EndForTest();
    std::filesystem::resize_file(path, 0x80);
    Begin();
    EXPECT_EQ(Dialog->GetFileSize(), 0x80);
    EXPECT_EQ(Status(), QStringLiteral("To position must be in file size range!"));
}

TEST_F(LoadDump, TheBrowseButtonFillsTheLocation)
{
    const std::string path = MakeFile("chosen.bin", 8);
    Files.Answer(QString::fromStdString(path));
    Files.Answer(QString());  // cancelled: the location stays
    Begin();
    Dialog->SelectBClick();
    EXPECT_EQ(Dialog->LocationLE->text(), QString::fromStdString(path));
    EXPECT_TRUE(Dialog->IsFileValid());
    EXPECT_EQ(Dialog->GetFileSize(), 8);
    Dialog->SelectBClick();
    EXPECT_EQ(Dialog->LocationLE->text(), QString::fromStdString(path));
    ASSERT_EQ(Files.Requests().size(), 2u);
    EXPECT_FALSE(Files.Requests()[0].Save);
    EXPECT_EQ(Files.Requests()[0].Caption, QStringLiteral("Select Binary File Location"));
    EXPECT_EQ(Files.Requests()[0].Filter, QStringLiteral("Binary File (*.Bin)|*.Bin|Any File (*.*)|*.*"));
    EXPECT_EQ(Files.Requests()[0].Options.DefaultSuffix, QStringLiteral("bin"));
    EXPECT_TRUE(Files.Requests()[0].Options.ShowHidden);
}

TEST_F(LoadDump, ExecuteRunsModallyWithTheFieldEventsOn)
{
    const std::string path = MakeFile("a.bin", 4);
    bool eventsInside = false;
    QTimer::singleShot(0, Dialog.get(), [&] {
        eventsInside = Dialog->AreFieldEventsOn();
        Dialog->LocationLE->setText(QString::fromStdString(path));
        Dialog->AllCB->setChecked(true);
        Dialog->StartDumpLE->setText(QStringLiteral("#C000"));
        Dialog->LoadBB->click();
    });
    EXPECT_EQ(Dialog->Execute(Memory.get(), Computer.get()), QDialog::Accepted);
    EXPECT_TRUE(eventsInside);
    EXPECT_FALSE(Dialog->AreFieldEventsOn());
    for (u16 i = 0; i < 4; ++i)
        EXPECT_EQ(At(static_cast<u16>(0xC000 + i)), Pattern(i));

    QTimer::singleShot(0, Dialog.get(), [&] { Dialog->CancelBB->click(); });
    EXPECT_EQ(Dialog->Execute(Memory.get(), Computer.get()), QDialog::Rejected);
    EXPECT_EQ(Dialog->LocationLE->text(), QString::fromStdString(path)) << "kept between openings";
}

TEST(DumpNumberText, ReadsBackThroughTheEvaluator)
{
    for (i64 value : {0LL, 1LL, 0xFFFFLL, 0x10000LL, 0x1FFFFLL, 0x7FFFFFFFLL, -1LL, -0x10000LL}) {
        const QString text = DumpNumberText(value);
        const std::optional<i32> back = EvaluateDumpField(text, nullptr);
        ASSERT_TRUE(back.has_value()) << text.toStdString();
        EXPECT_EQ(*back, value) << text.toStdString();
    }
    EXPECT_EQ(DumpNumberText(0xABC), QStringLiteral("#0ABC"));
    EXPECT_EQ(DumpNumberText(0x10000), QStringLiteral("#10000"));
}
