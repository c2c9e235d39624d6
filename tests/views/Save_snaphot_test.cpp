// The save-snapshot dialog: Save only with a name, browsing, and what OK
// writes: an SNA of the chosen form that reads back into another machine,
// and a failure shown in a box with the old file kept.
#include "tests/shell/Qt_test_app.h"
#include "tests/support/Fake_host_services.h"
#include "tests/support/Test_settings.h"

#include "core/Computer.h"
#include "core/Memory.h"
#include "core/Z80.h"
#include "media/File.h"
#include "media/Snapshot_sna.h"
#include "platform/Dialog_services.h"
#include "views/Save_snaphot.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <memory>

namespace {

class SaveSnapshot : public ::testing::Test {
protected:
    void SetUp() override
    {
        Computer = std::make_unique<TComputer>(Host.Services());
        Dialog = std::make_unique<TSaveSnapshotF>();
    }

    // Runs Execute, with the user typing the name, choosing the form and
    // pressing Save shapshot.
    int SaveAs(const std::string& path, int kind)
    {
        QTimer::singleShot(0, Dialog.get(), [&] {
            Dialog->FileNameLE->setText(QString::fromStdString(path));
            Dialog->FormatCB->setCurrentIndex(kind);
            Dialog->SaveBB->click();
        });
        return Dialog->Execute(Computer.get());
    }

    TTestSettings Settings;
    TFakeHostServices Host;
    TTempFolder Folder;
    TScriptedMessageBoxes Boxes;
    TScriptedFileDialogs Files;
    std::unique_ptr<TComputer> Computer;
    std::unique_ptr<TSaveSnapshotF> Dialog;
};

bool Yellow(const QLineEdit* edit)
{
    return edit->palette().color(QPalette::Base) == QColor(Qt::yellow);
}

} // namespace

TEST_F(SaveSnapshot, SaveNeedsAName)
{
    EXPECT_FALSE(Dialog->GeneratorCB->isEnabled());
    EXPECT_FALSE(Dialog->OverwriteCB->isEnabled());
    EXPECT_FALSE(Dialog->SaveBB->isEnabled());
    EXPECT_TRUE(Yellow(Dialog->FileNameLE));
    Dialog->FileNameLE->setText(QStringLiteral("a"));
    EXPECT_TRUE(Dialog->SaveBB->isEnabled());
    EXPECT_FALSE(Yellow(Dialog->FileNameLE));
    Dialog->FileNameLE->clear();
    EXPECT_FALSE(Dialog->SaveBB->isEnabled());
    EXPECT_TRUE(Yellow(Dialog->FileNameLE));
}

TEST_F(SaveSnapshot, BrowsingFillsTheName)
{
    Files.Answer(QStringLiteral("/somewhere/game.sna"));
    Files.Answer(QString());
    Dialog->SelectBClick();
    EXPECT_EQ(Dialog->GetFileName(), QStringLiteral("/somewhere/game.sna"));
    Dialog->SelectBClick();
    EXPECT_EQ(Dialog->GetFileName(), QStringLiteral("/somewhere/game.sna")) << "cancelled";
    ASSERT_EQ(Files.Requests().size(), 2u);
    EXPECT_TRUE(Files.Requests()[0].Save);
    EXPECT_EQ(Files.Requests()[0].Filter, QStringLiteral("SNA Snapshot|*.sna"));
    EXPECT_EQ(Files.Requests()[0].Directory, QStringLiteral("filename.sna"));
    EXPECT_EQ(Files.Requests()[1].Directory, QStringLiteral("/somewhere/game.sna"));
    EXPECT_TRUE(Files.Requests()[0].Options.ConfirmOverwrite) << "browsing asks before replacing";
}

TEST_F(SaveSnapshot, AnExistingFileIsReplacedOnlyAfterAYes)
{
    const std::string path = Folder.File("keep.sna");
    std::ofstream(path) << "old";

    // A typed name: No keeps the file and the dialog open.
    Boxes.Answer(TMessageResult::No);
    bool stayedOpen = false;
    QTimer::singleShot(0, Dialog.get(), [&] {
        Dialog->FileNameLE->setText(QString::fromStdString(path));
        Dialog->SaveBB->click();
        stayedOpen = Dialog->isVisible();
        Dialog->CancelBB->click();
    });
    EXPECT_EQ(Dialog->Execute(Computer.get()), QDialog::Rejected);
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(std::filesystem::file_size(path), 3u);
    ASSERT_EQ(Boxes.Shown().size(), 1u);
    EXPECT_EQ(Boxes.Shown()[0].Caption, QStringLiteral(" Warning!"));
    EXPECT_EQ(Boxes.Shown()[0].Text, QStringLiteral("File \"") + QString::fromStdString(path) +
                                         QStringLiteral("\" already exist!\nDo you want to replace it?"));
    EXPECT_EQ(Boxes.Shown()[0].Icon, TMessageIcon::Warning);
    EXPECT_EQ(Boxes.Shown()[0].Buttons, TMessageButtons::YesNo);

    // Yes replaces it.
    Boxes.Answer(TMessageResult::Yes);
    EXPECT_EQ(SaveAs(path, 0), QDialog::Accepted);
    EXPECT_EQ(std::filesystem::file_size(path), 49179u);
    EXPECT_EQ(Boxes.Shown().size(), 2u);

    // A name the file dialog gave was confirmed there: no second question.
    Files.Answer(QString::fromStdString(path));
    QTimer::singleShot(0, Dialog.get(), [&] {
        Dialog->SelectBClick();
        Dialog->SaveBB->click();
    });
    EXPECT_EQ(Dialog->Execute(Computer.get()), QDialog::Accepted);
    EXPECT_EQ(Boxes.Shown().size(), 2u);
    // That answer covered one save: the next one asks again.
    EXPECT_EQ(SaveAs(path, 0), QDialog::Accepted);
    EXPECT_EQ(Boxes.Shown().size(), 3u);
}

TEST_F(SaveSnapshot, OkWritesTheChosenFormThatReadsBack)
{
    Computer->Z80->PC = 0x8123;
    Computer->Z80->SP = 0xC000;
    Computer->Z80->HL.W = 0x5A5A;
    Computer->Memory->WriteByte(0x9000, 0xE7);
    const std::string path48 = Folder.File("m48.sna");
    EXPECT_EQ(SaveAs(path48, 0), QDialog::Accepted);
    EXPECT_EQ(std::filesystem::file_size(path48), 49179u);
    const std::string path128 = Folder.File("m128.sna");
    EXPECT_EQ(SaveAs(path128, 1), QDialog::Accepted);
    EXPECT_EQ(std::filesystem::file_size(path128), 131103u);
    EXPECT_TRUE(Boxes.Shown().empty());

    // Into a second machine, the 128K file gives the registers and memory back.
    TComputer other(Host.Services());
    TSnapshotSNA().Load(other, TFile(path128));
    EXPECT_EQ(other.Z80->PC, 0x8123);
    EXPECT_EQ(other.Z80->SP, 0xC000);
    EXPECT_EQ(other.Z80->HL.W, 0x5A5A);
    EXPECT_EQ(other.Memory->ReadByte(0x9000), 0xE7);

    // Cancel writes nothing.
    const std::string none = Folder.File("none.sna");
    QTimer::singleShot(0, Dialog.get(), [&] {
        Dialog->FileNameLE->setText(QString::fromStdString(none));
        Dialog->CancelBB->click();
    });
    EXPECT_EQ(Dialog->Execute(Computer.get()), QDialog::Rejected);
    EXPECT_FALSE(std::filesystem::exists(none));
    EXPECT_EQ(Dialog->FormatCB->currentIndex(), 1) << "kept between openings";
}

TEST_F(SaveSnapshot, AFailureIsShownAndTheOldFileStays)
{
    const std::string bad = Folder.File("no/such/folder/x.sna");
    EXPECT_EQ(SaveAs(bad, 0), QDialog::Accepted);
    ASSERT_EQ(Boxes.Shown().size(), 1u);
    EXPECT_EQ(Boxes.Shown()[0].Caption, QStringLiteral(" Error!"));
    EXPECT_TRUE(Boxes.Shown()[0].Text.startsWith(QStringLiteral("Can't save snapshot to file.")))
        << Boxes.Shown()[0].Text.toStdString();
    EXPECT_EQ(Boxes.Shown()[0].Icon, TMessageIcon::Error);

    // A 128K form on a 48K machine is refused by the writer; an old file
    // under that name is not touched.
    Settings->Model = TMemory::Model48;
    TComputer small(Host.Services());
    const std::string old = Folder.File("old.sna");
    std::ofstream(old) << "old";
    Dialog->FileNameLE->setText(QString::fromStdString(old));
    Dialog->FormatCB->setCurrentIndex(1);
    EXPECT_FALSE(Dialog->SaveSnapshot(&small));
    EXPECT_EQ(Boxes.Shown().size(), 2u);
    EXPECT_EQ(std::filesystem::file_size(old), 3u);
}
