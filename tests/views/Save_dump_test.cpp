// The save-dump dialog: how start, length and end follow one another, the
// order and colour of its complaints, the three file modes with what each
// leaves in the file, the overwrite question, and failures that must leave
// an old file exactly as it was (forced with a file-size limit).
#include "tests/shell/Qt_test_app.h"
#include "tests/support/Fake_host_services.h"
#include "tests/support/File_size_limit.h"
#include "tests/support/Test_settings.h"

#include "core/Computer.h"
#include "core/Cpu_memory_array.h"
#include "core/Memory.h"
#include "platform/Dialog_services.h"
#include "views/Save_dump.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <memory>
#include <vector>

namespace {

using TBytes = std::vector<u8>;

TBytes ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return TBytes(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& path, const TBytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TBytes Counting(size_t n, u8 first)
{
    TBytes bytes(n);
    for (size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<u8>(first + i);
    return bytes;
}

class SaveDump : public ::testing::Test {
protected:
    void SetUp() override
    {
        Computer = std::make_unique<TComputer>(Host.Services());
        Computer->Memory->MakeFlatRam();
        // Every address holds a value of its own: low byte plus high byte.
        for (u32 a = 0; a < 0x10000; ++a)
            Computer->Memory->WriteByte(static_cast<u16>(a), MemoryByte(a));
        Memory = std::make_unique<TCpuMemoryArray>(Computer->Memory);
        Dialog = std::make_unique<TSaveDumpF>();
        Dialog->BeginForTest(Memory.get(), Computer.get());
    }

    static u8 MemoryByte(u32 address) { return static_cast<u8>(address + (address >> 8) * 3); }
    static TBytes MemoryRange(u32 start, u32 length)
    {
        TBytes bytes;
        for (u32 i = 0; i < length; ++i)
            bytes.push_back(MemoryByte((start + i) & 0xFFFF));
        return bytes;
    }

    void Type(QLineEdit* edit, const char* text) { edit->setText(QString::fromLatin1(text)); }
    QString Status() const { return Dialog->StatusL->text(); }
    bool SaveEnabled() const { return Dialog->SaveBB->isEnabled(); }
    static bool Yellow(const QLineEdit* edit) { return edit->palette().color(QPalette::Base) == QColor(Qt::yellow); }

    TTestSettings Settings;
    TFakeHostServices Host;
    TTempFolder Folder;
    TScriptedMessageBoxes Boxes;
    TScriptedFileDialogs Files;
    std::unique_ptr<TComputer> Computer;
    std::unique_ptr<TCpuMemoryArray> Memory;
    std::unique_ptr<TSaveDumpF> Dialog;
};

} // namespace

TEST_F(SaveDump, TheModeBoxesShowTheirControls)
{
    EXPECT_FALSE(Dialog->AskCB->isHidden()) << "New/Overwrite, asking, at first";
    EXPECT_TRUE(Dialog->AppendCB->isHidden());
    EXPECT_TRUE(Dialog->OffsetLE->isHidden());
    Dialog->NewCB->setChecked(false);
    EXPECT_TRUE(Dialog->AskCB->isHidden());
    EXPECT_FALSE(Dialog->AppendCB->isHidden());
    EXPECT_TRUE(Dialog->OffsetLE->isHidden()) << "Append to End";
    Dialog->AppendCB->setChecked(false);
    EXPECT_FALSE(Dialog->OffsetLE->isHidden()) << "Write at Offset";
    EXPECT_TRUE(Dialog->IsOffsetMode());
    Dialog->NewCB->setChecked(true);
    EXPECT_TRUE(Dialog->OffsetLE->isHidden());
    EXPECT_TRUE(Dialog->AppendCB->isHidden());
    EXPECT_FALSE(Dialog->AskCB->isHidden());
    EXPECT_FALSE(Dialog->IsOffsetMode());
}

TEST_F(SaveDump, StartLengthAndEndFollowEachOther)
{
    Type(Dialog->StartLE, "#8000");
    Type(Dialog->EndLE, "#80FF");
    EXPECT_EQ(Dialog->LengthLE->text(), QStringLiteral("#0100")) << "an end moves the length";
    Type(Dialog->LengthLE, "#10");
    EXPECT_EQ(Dialog->EndLE->text(), QStringLiteral("#800F")) << "a length moves the end";
    Type(Dialog->StartLE, "#8008");
    EXPECT_EQ(Dialog->EndLE->text(), QStringLiteral("#800F")) << "a start keeps the end";
    EXPECT_EQ(Dialog->LengthLE->text(), QStringLiteral("#0008"));
    EXPECT_TRUE(SaveEnabled());
    EXPECT_TRUE(Status().isEmpty());
}

TEST_F(SaveDump, TheWholeMemoryIsSixtyFourKAndSavedWhole)
{
    const std::string path = Folder.File("all.bin");
    Dialog->LocationLE->setText(QString::fromStdString(path));
    Type(Dialog->StartLE, "0");
    Type(Dialog->EndLE, "#FFFF");
    EXPECT_EQ(Dialog->GetLength(), 65536);
    EXPECT_EQ(Dialog->LengthLE->text(), QStringLiteral("#10000"));
    ASSERT_TRUE(SaveEnabled()) << Status().toStdString();
    Dialog->SaveBBClick();
    EXPECT_EQ(ReadAll(path), MemoryRange(0, 0x10000));
    EXPECT_EQ(Dialog->result(), QDialog::Accepted);

    // Wrapping, with the end just before the start: again all of it.
    Dialog->WrapCB->setChecked(true);
    Type(Dialog->StartLE, "#8000");
    Type(Dialog->EndLE, "#7FFF");
    EXPECT_EQ(Dialog->GetLength(), 65536);
}

TEST_F(SaveDump, ABlockPastFFFFNeedsWrapAndThenSavesAcrossZero)
{
    Type(Dialog->StartLE, "#F000");
    Type(Dialog->LengthLE, "#2000");
    EXPECT_EQ(Dialog->GetEnd(), 0x10FFF);
    EXPECT_EQ(Dialog->EndLE->text(), QStringLiteral("#0FFF"));
    EXPECT_EQ(Status(), QStringLiteral("Block size is too big to fit in memory!"));
    EXPECT_FALSE(SaveEnabled());

    Dialog->WrapCB->setChecked(true);
    EXPECT_FALSE(SaveEnabled()) << "the box alone checks nothing";
    Type(Dialog->LengthLE, "#2000 ");
    EXPECT_TRUE(SaveEnabled()) << Status().toStdString();
    const std::string path = Folder.File("wrap.bin");
    Dialog->LocationLE->setText(QString::fromStdString(path));
    Dialog->SaveBBClick();
    EXPECT_EQ(ReadAll(path), MemoryRange(0xF000, 0x2000));
}

TEST_F(SaveDump, AStartAboveTheEndIsReportedOnce)
{
    Type(Dialog->StartLE, "#100");
    Type(Dialog->EndLE, "#1FF");
    Type(Dialog->StartLE, "#300");
    EXPECT_EQ(Status(), QStringLiteral("End mark of block must be placed after start!"));
    EXPECT_TRUE(Yellow(Dialog->EndLE));
    EXPECT_FALSE(SaveEnabled());
    // The same check moved the end to start + length - 1.
    EXPECT_EQ(Dialog->EndLE->text(), QStringLiteral("#03FF"));
    Dialog->NewCB->setChecked(false);  // any check
    EXPECT_TRUE(Status().isEmpty());
    EXPECT_TRUE(SaveEnabled());
}

TEST_F(SaveDump, OnlyTheFirstComplaintIsShownButEveryBadEditIsYellow)
{
    Type(Dialog->StartLE, "zz");
    Type(Dialog->LengthLE, "0");
    Type(Dialog->EndLE, "#10000");
    EXPECT_EQ(Status(), QStringLiteral("Invalid 'Start Position' expression!"));
    EXPECT_TRUE(Yellow(Dialog->StartLE));
    EXPECT_TRUE(Yellow(Dialog->EndLE));
    EXPECT_FALSE(Yellow(Dialog->LengthLE)) << "follows from the end, typed last";
    EXPECT_FALSE(SaveEnabled());

    Type(Dialog->StartLE, "1");
    Type(Dialog->LengthLE, "0");
    EXPECT_EQ(Status(), QStringLiteral("'Dump Length' must be in range 1-65536!"));
    EXPECT_FALSE(Yellow(Dialog->StartLE));
    EXPECT_TRUE(Yellow(Dialog->LengthLE));
    Type(Dialog->LengthLE, "1");
    Type(Dialog->EndLE, "#10000");
    EXPECT_EQ(Status(), QStringLiteral("'End Position' must be in range 0-65535!"));
    EXPECT_FALSE(Yellow(Dialog->LengthLE));
}

TEST_F(SaveDump, TheFileOffsetTakesAnyPositiveThirtyTwoBitValue)
{
    Type(Dialog->StartLE, "0");
    Type(Dialog->EndLE, "15");
    Dialog->NewCB->setChecked(false);
    Dialog->AppendCB->setChecked(false);
    Type(Dialog->OffsetLE, "-1");
    EXPECT_EQ(Status(), QStringLiteral("'File Offset' must be in range 0-2147483647!"));
    EXPECT_TRUE(Yellow(Dialog->OffsetLE));
    EXPECT_FALSE(SaveEnabled());
    Type(Dialog->OffsetLE, "2147483647");
    EXPECT_TRUE(SaveEnabled());
    EXPECT_EQ(Dialog->GetFileOffset(), 2147483647);
    Type(Dialog->OffsetLE, "#80000000");
    EXPECT_FALSE(SaveEnabled());
    // Not checked outside its mode.
    Dialog->AppendCB->setChecked(true);
    EXPECT_TRUE(SaveEnabled());
}

TEST_F(SaveDump, EditsChangedOutsideExecuteChangeNothing)
{
    Type(Dialog->StartLE, "#10");
    Type(Dialog->EndLE, "#1F");
    ASSERT_TRUE(Status().isEmpty());
    Dialog->EndForTest();
    Type(Dialog->StartLE, "#20");
    Type(Dialog->EndLE, "zz");
    EXPECT_EQ(Dialog->GetStart(), 0x10);
    EXPECT_EQ(Dialog->GetEnd(), 0x1F);
    EXPECT_TRUE(Status().isEmpty());
    EXPECT_TRUE(SaveEnabled());
}

TEST_F(SaveDump, ShowingTheDialogChecksIt)
{
    Type(Dialog->StartLE, "zz");
    Dialog->EndForTest();
    Dialog->ClearStatus();
    QTimer::singleShot(0, Dialog.get(), [&] { Dialog->reject(); });
    Dialog->Execute(Memory.get(), Computer.get());
    EXPECT_EQ(Status(), QStringLiteral("Invalid 'Start Position' expression!"));
}

TEST_F(SaveDump, TheOverwriteQuestionGuardsAnExistingFile)
{
    const std::string path = Folder.File("old.bin");
    const TBytes old = Counting(300, 9);
    WriteAll(path, old);
    Dialog->LocationLE->setText(QString::fromStdString(path));
    Type(Dialog->StartLE, "#4000");
    Type(Dialog->LengthLE, "#20");

    Boxes.Answer(TMessageResult::No);
    Dialog->SaveBBClick();
    ASSERT_EQ(Boxes.Shown().size(), 1u);
    EXPECT_EQ(Boxes.Shown()[0].Caption, QStringLiteral(" Warning!"));
    EXPECT_EQ(Boxes.Shown()[0].Text,
              QStringLiteral("File \"") + QString::fromStdString(path) +
                  QStringLiteral("\" already exist!\nDo you want to replace it?"));
    EXPECT_EQ(Boxes.Shown()[0].Buttons, TMessageButtons::YesNo);
    EXPECT_EQ(ReadAll(path), old);
    EXPECT_EQ(Dialog->result(), 0) << "the dialog stays open";

    Boxes.Answer(TMessageResult::Yes);
    Dialog->SaveBBClick();
    EXPECT_EQ(ReadAll(path), MemoryRange(0x4000, 0x20)) << "replaced, nothing of the old tail left";
    EXPECT_EQ(Dialog->result(), QDialog::Accepted);

    Dialog->AskCB->setChecked(false);
    Type(Dialog->LengthLE, "#10");
    Dialog->SaveBBClick();
    EXPECT_EQ(Boxes.Shown().size(), 2u) << "no question";
    EXPECT_EQ(ReadAll(path), MemoryRange(0x4000, 0x10));
}

TEST_F(SaveDump, AppendAndOffsetKeepTheRestOfTheFile)
{
    const std::string path = Folder.File("data.bin");
    const TBytes old = Counting(100, 50);
    WriteAll(path, old);
    Dialog->LocationLE->setText(QString::fromStdString(path));
    Type(Dialog->StartLE, "#9000");
    Type(Dialog->LengthLE, "8");
    Dialog->NewCB->setChecked(false);
    Dialog->SaveBBClick();
    TBytes expected = old;
    const TBytes block = MemoryRange(0x9000, 8);
    expected.insert(expected.end(), block.begin(), block.end());
    EXPECT_EQ(ReadAll(path), expected);

    Dialog->AppendCB->setChecked(false);
    Type(Dialog->OffsetLE, "10");
    Dialog->SaveBBClick();
    std::copy(block.begin(), block.end(), expected.begin() + 10);
    EXPECT_EQ(ReadAll(path), expected) << "overwritten in place, length kept";

    // Past the end the gap reads as zeros.
    Type(Dialog->OffsetLE, "120");
    Dialog->SaveBBClick();
    expected.resize(120, 0);
    expected.insert(expected.end(), block.begin(), block.end());
    EXPECT_EQ(ReadAll(path), expected);
    EXPECT_TRUE(Boxes.Shown().empty());
}

TEST_F(SaveDump, TheWindowsGoOnWhileTheFileIsWrittenAndTheDialogWaitsForIt)
{
    const std::string path = Folder.File("big.bin");
    TBytes expected = Counting(3 << 20, 1);
    WriteAll(path, expected);
    Dialog->LocationLE->setText(QString::fromStdString(path));
    Type(Dialog->StartLE, "#8000");
    Type(Dialog->LengthLE, "#100");
    Dialog->NewCB->setChecked(false);
    Dialog->AppendCB->setChecked(false);
    Type(Dialog->OffsetLE, "#100000");

    // The writing thread starts only once the user-interface thread has
    // handled an event: a save that blocked that thread would never see it
    // (the wait is bounded only so that such a fault fails instead of hanging).
    std::promise<void> handled;
    std::shared_future<void> seen = handled.get_future().share();
    bool writerSawIt = false;
    TSaveDumpF::WriteStartsForTest = [&] {
        writerSawIt = seen.wait_for(std::chrono::minutes(1)) == std::future_status::ready;
    };
    bool savingMeanwhile = false;
    QTimer::singleShot(0, Dialog.get(), [&] {
        savingMeanwhile = Dialog->IsSaving();
        Dialog->reject();       // closing waits for the save
        Dialog->SaveBBClick();  // and a second save is not started
        handled.set_value();
    });
    Dialog->SaveBBClick();
    TSaveDumpF::WriteStartsForTest = nullptr;

    EXPECT_TRUE(writerSawIt);
    EXPECT_TRUE(savingMeanwhile);
    EXPECT_FALSE(Dialog->IsSaving());
    EXPECT_EQ(Dialog->result(), QDialog::Accepted);
    const TBytes block = MemoryRange(0x8000, 0x100);
    std::copy(block.begin(), block.end(), expected.begin() + 0x100000);
    EXPECT_EQ(ReadAll(path), expected);
    EXPECT_TRUE(Boxes.Shown().empty());
}

TEST_F(SaveDump, AppendOrOffsetOnAMissingFileFailsAndCloses)
{
    const std::string path = Folder.File("missing.bin");
    Dialog->LocationLE->setText(QString::fromStdString(path));
    Type(Dialog->StartLE, "0");
    Type(Dialog->LengthLE, "4");
    for (bool append : {true, false}) {
        Dialog->NewCB->setChecked(false);
        Dialog->AppendCB->setChecked(append);
        Type(Dialog->OffsetLE, "0");
        Dialog->setResult(0);
        const size_t before = Boxes.Shown().size();
        Dialog->SaveBBClick();
        ASSERT_EQ(Boxes.Shown().size(), before + 1);
        EXPECT_EQ(Boxes.Shown().back().Caption, QStringLiteral(" Error!"));
        EXPECT_EQ(Boxes.Shown().back().Text, QStringLiteral("Can't save memory dump to binary file."));
        EXPECT_EQ(Dialog->result(), QDialog::Accepted);
        EXPECT_FALSE(std::filesystem::exists(path)) << "nothing created";
    }
}

TEST_F(SaveDump, ClearingWrapAfterTheCheckStopsTheSave)
{
    Dialog->WrapCB->setChecked(true);
    Type(Dialog->StartLE, "#FFF0");
    Type(Dialog->LengthLE, "#20");
    ASSERT_TRUE(SaveEnabled());
    Dialog->WrapCB->setChecked(false);
    const std::string path = Folder.File("w.bin");
    Dialog->LocationLE->setText(QString::fromStdString(path));
    Dialog->SaveBBClick();
    EXPECT_EQ(Status(), QStringLiteral("Block size is too big to fit in memory!"));
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(Dialog->result(), 0);
}

TEST_F(SaveDump, TheBrowseButtonFillsTheLocation)
{
    Files.Answer(QStringLiteral("/tmp/new-name.bin"));
    Dialog->SelectBClick();
    EXPECT_EQ(Dialog->LocationLE->text(), QStringLiteral("/tmp/new-name.bin"));
    ASSERT_EQ(Files.Requests().size(), 1u);
    EXPECT_TRUE(Files.Requests()[0].Save) << "a file that does not exist yet may be named";
    EXPECT_EQ(Files.Requests()[0].Caption, QStringLiteral("Select Binary File Location"));
    // Only Save asks about replacing, and only in the mode that replaces:
    // the file dialog never asks, whatever the mode.
    const TFileDialogOptions options = Files.Requests()[0].Options;
    EXPECT_EQ(options.DefaultSuffix, QStringLiteral("bin"));
    EXPECT_TRUE(options.ShowHidden);
    EXPECT_FALSE(options.ConfirmOverwrite);
}

// ---------------------------------------------------------------------------
// Failing writes: a file-size limit makes the writes fail part way, as a
// full disk would.

namespace {

std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

} // namespace

TEST(SaveDumpFiles, AFailedWriteLeavesTheOldFileAsItWas)
{
    TTempFolder folder;
    const std::string path = folder.File("keep.bin");
    const QString name = QString::fromStdString(path);
    const TBytes old = Counting(1000, 1);
    const TBytes block = Counting(4000, 77);
    WriteAll(path, old);
    {
        TFileSizeLimit limit(2048);
        EXPECT_FALSE(TSaveDumpF::WriteNewFile(name, block));
        EXPECT_EQ(ReadAll(path), old) << "new/overwrite";
        EXPECT_FALSE(TSaveDumpF::AppendToFile(name, block));
        EXPECT_EQ(ReadAll(path), old) << "append: cut back to the old length";
        EXPECT_FALSE(TSaveDumpF::WriteAtOffset(name, 500, block));
        EXPECT_EQ(ReadAll(path), old) << "offset: the copy never replaced it";
        EXPECT_FALSE(TSaveDumpF::WriteAtOffset(name, 3000, Counting(10, 0))) << "past the limit";
        EXPECT_EQ(ReadAll(path), old);
    }
    // Nothing left beside it but what a successful write made.
    const std::vector<std::string> entries = FolderEntries(folder.Path());
    EXPECT_EQ(entries, std::vector<std::string>{"keep.bin"});
    // And within the limit each still works.
    EXPECT_TRUE(TSaveDumpF::WriteAtOffset(name, 0, Counting(4, 200)));
    EXPECT_EQ(ReadAll(path)[0], 200);
    EXPECT_TRUE(TSaveDumpF::WriteNewFile(name, Counting(3, 5)));
    EXPECT_EQ(ReadAll(path), Counting(3, 5));
}

TEST(SaveDumpFiles, NamesThatAreNotFilesAreRefused)
{
    TTempFolder folder;
    const TBytes block = Counting(4, 0);
    EXPECT_FALSE(TSaveDumpF::WriteNewFile(QString(), block));
    EXPECT_FALSE(TSaveDumpF::WriteNewFile(QString::fromStdString(folder.File("no/such/dir/x.bin")), block));
    EXPECT_FALSE(TSaveDumpF::AppendToFile(QString::fromStdString(folder.Path()), block));
    EXPECT_FALSE(TSaveDumpF::WriteAtOffset(QString::fromStdString(folder.Path()), 0, block));
    EXPECT_FALSE(TSaveDumpF::WriteAtOffset(QString::fromStdString(folder.File("x")), -1, block));
    EXPECT_TRUE(FolderEntries(folder.Path()).empty());
}

TEST(SaveDumpFiles, ReplacingAFileKeepsItsPermissionsAndLinks)
{
    TTempFolder folder;
    const std::string target = folder.File("target.bin");
    const std::string link = folder.File("link.bin");
    WriteAll(target, Counting(10, 0));
    std::filesystem::permissions(target, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                                             std::filesystem::perms::group_read);
    std::filesystem::create_symlink(target, link);
    ASSERT_TRUE(TSaveDumpF::WriteNewFile(QString::fromStdString(link), Counting(5, 100)));
    EXPECT_TRUE(std::filesystem::is_symlink(link)) << "the link stays a link";
    EXPECT_EQ(ReadAll(target), Counting(5, 100));
    EXPECT_EQ(std::filesystem::status(target).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                  std::filesystem::perms::group_read);
    ASSERT_TRUE(TSaveDumpF::WriteAtOffset(QString::fromStdString(link), 1, Counting(1, 0)));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadAll(target)[1], 0);
}
