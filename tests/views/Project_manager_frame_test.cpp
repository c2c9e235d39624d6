// The project manager: the tree of group, projects and files, the status
// path of the selected node, the popup's actions by level, the commands with
// their confirmations and file dialog, activation, expanding, renaming, and
// opening files in the source viewer.
#include "tests/shell/Qt_test_app.h"
#include "tests/views/Source_file_testing.h"

#include "platform/Dialog_services.h"
#include "shell/Frames_form.h"
#include "shell/Ide.h"
#include "views/Asm_file.h"
#include "views/Editor_frame.h"
#include "views/Project.h"
#include "views/Project_group.h"
#include "views/Project_manager_frame.h"
#include "views/Project_views.h"

#include <QAction>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QTreeWidget>

#include <vector>

namespace {

class ProjectManager : public ::testing::Test {
protected:
    ProjectManager()
    {
        g_ViewCounter = 0;
        Ide.Init(&Owner, nullptr);
        RegisterProjectViews(Ide);
        View = new TProjectManagerF(&Owner, &Group, Ide);
        View->resize(250, 390);
        View->show();
        Settle();
    }
    ~ProjectManager() override
    {
        delete View;
        Ide.CloseAll();
        Settle();
    }

    QTreeWidgetItem* Top() const { return View->GetGroupNode(); }
    QTreeWidgetItem* ProjectNode(int i) const { return Top()->child(i); }
    QTreeWidgetItem* FileNode(int i, int j) const { return ProjectNode(i)->child(j); }

    // The captions of the popup's visible items for the node, "-" for a
    // separator. A separator has no text: a style would draw it beside the
    // rule.
    QStringList PopupFor(QTreeWidgetItem* node)
    {
        View->SelectNode(node);
        View->ProjectManagerPMPopup();
        QStringList captions;
        for (QAction* action : View->VisibleActions()) {
            if (action->isSeparator()) {
                EXPECT_TRUE(action->text().isEmpty()) << action->objectName().toStdString();
                captions << QStringLiteral("-");
            } else {
                captions << action->text();
            }
        }
        return captions;
    }

    static bool Bold(const QTreeWidgetItem* node) { return node->font(0).bold(); }

    TSourceFolder Folder;
    TProjectGroup Group;
    QWidget Owner;
    TIDE Ide;
    TProjectManagerF* View;
};

TEST_F(ProjectManager, AFreshGroupShowsOneNodeAndItsActions)
{
    ASSERT_EQ(View->ProjectManagerTV->topLevelItemCount(), 1);
    EXPECT_EQ(Top()->text(0), QStringLiteral("<No Project Group>"));
    EXPECT_EQ(Top()->childCount(), 0);
    EXPECT_EQ(View->GetStatusText(), QStringLiteral("<No Project Group>"));
    EXPECT_EQ(PopupFor(Top()), (QStringList{"Add &New Project...", "&Add Existing Project...", "-",
                                            "&Save Project Group", "Sav&e Project Group As...", "&Rename"}));
    EXPECT_FALSE(View->RenameProjectGroupA->isEnabled());
    EXPECT_TRUE(View->AddNewProjectA->isEnabled());
    // Right click on empty space: nothing to offer.
    EXPECT_TRUE(PopupFor(nullptr).isEmpty());
}

TEST_F(ProjectManager, AddNewProjectShowsTheActiveProjectWithItsFile)
{
    View->AddNewProjectA->trigger();
    EXPECT_EQ(Top()->text(0), QStringLiteral("ProjectGroup"));
    ASSERT_EQ(Top()->childCount(), 1);
    EXPECT_EQ(ProjectNode(0)->text(0), QStringLiteral("Project1"));
    EXPECT_TRUE(Bold(ProjectNode(0)));
    EXPECT_EQ(View->GetActiveProject(), Group.GetProject(0));
    ASSERT_EQ(ProjectNode(0)->childCount(), 1);
    EXPECT_EQ(FileNode(0, 0)->text(0), QStringLiteral("File1.asm"));
    EXPECT_TRUE(Top()->isExpanded());
    EXPECT_TRUE(ProjectNode(0)->isExpanded());
    EXPECT_EQ(View->ProjectOf(ProjectNode(0)), Group.GetProject(0));
    EXPECT_EQ(View->FileOf(FileNode(0, 0)), Group.GetProject(0)->GetFile(0));

    // The status shows the path of the selected node.
    View->SelectNode(ProjectNode(0));
    EXPECT_EQ(View->GetStatusText(), QString::fromStdString(Group.GetFolder() + "/Project1.ZXPrj"));
    View->SelectNode(FileNode(0, 0));
    EXPECT_EQ(View->GetStatusText(), QString::fromStdString(Group.GetFolder() + "/File1.asm"));
    View->SelectNode(Top());
    EXPECT_EQ(View->GetStatusText(), QString::fromStdString(Group.GetFolder() + "/ProjectGroup.ZXGrp"));
    EXPECT_TRUE(PopupFor(Top()).contains(QStringLiteral("&Rename")));
    EXPECT_TRUE(View->RenameProjectGroupA->isEnabled());

    // A second project becomes the active one.
    View->AddNewProjectA->trigger();
    EXPECT_EQ(ProjectNode(1)->text(0), QStringLiteral("Project2"));
    EXPECT_EQ(FileNode(1, 0)->text(0), QStringLiteral("File2.asm"));
    EXPECT_FALSE(Bold(ProjectNode(0)));
    EXPECT_TRUE(Bold(ProjectNode(1)));
}

TEST_F(ProjectManager, ThePopupOffersTheActionsOfTheNodesLevel)
{
    View->AddNewProjectA->trigger();
    EXPECT_EQ(PopupFor(ProjectNode(0)), (QStringList{"&Add...", "Add Ne&w", "-", "&Save", "Sav&e As...", "Re&name",
                                                     "Remove Pro&ject", "-", "Act&ivate"}));
    EXPECT_EQ(PopupFor(FileNode(0, 0)),
              (QStringList{"&Open", "-", "&Save", "Sav&e As...", "Re&name", "&Remove From Project"}));
    EXPECT_EQ(View->ProjectManagerPM->defaultAction(), View->OpenFileA);
    // The save actions and adding an existing project do nothing.
    View->SelectNode(ProjectNode(0));
    for (QAction* action : {View->SaveProjectA, View->SaveAsProjectA, View->SaveFileA, View->SaveAsFileA,
                            View->SaveProjectGroupA, View->SaveProjectGroupAsA, View->AddExistingProjectA})
        action->trigger();
    EXPECT_EQ(Group.GetProjectCount(), 1);
    EXPECT_EQ(Group.GetProject(0)->GetFileCount(), 1);
}

TEST_F(ProjectManager, RemovingAProjectAsksFirst)
{
    TScriptedMessageBoxes boxes;
    View->AddNewProjectA->trigger();
    View->AddNewProjectA->trigger();
    View->SelectNode(ProjectNode(1));
    boxes.Answer(TMessageResult::No);
    View->RemoveProjectA->trigger();
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].Caption, QStringLiteral("Confirm"));
    EXPECT_EQ(boxes.Shown()[0].Text,
              QStringLiteral("Are you sure you want to remove Project2 from the project group?"));
    EXPECT_EQ(boxes.Shown()[0].Icon, TMessageIcon::Question);
    EXPECT_EQ(boxes.Shown()[0].Buttons, TMessageButtons::YesNo);
    EXPECT_EQ(Top()->childCount(), 2);

    boxes.Answer(TMessageResult::Yes);
    View->SelectNode(ProjectNode(1));
    View->RemoveProjectA->trigger();
    ASSERT_EQ(Top()->childCount(), 1);
    EXPECT_EQ(ProjectNode(0)->text(0), QStringLiteral("Project1"));
    // It was the active one: none is now.
    EXPECT_EQ(View->GetActiveProject(), nullptr);
    EXPECT_FALSE(Bold(ProjectNode(0)));
}

TEST_F(ProjectManager, RemovingAFileAsksFirst)
{
    TScriptedMessageBoxes boxes;
    View->AddNewProjectA->trigger();
    View->SelectNode(ProjectNode(0));
    View->AddNewToProjectA->trigger();
    ASSERT_EQ(ProjectNode(0)->childCount(), 2);
    EXPECT_EQ(FileNode(0, 1)->text(0), QStringLiteral("File2.asm"));

    View->SelectNode(FileNode(0, 0));
    boxes.Answer(TMessageResult::No);
    View->RemoveFromProjectA->trigger();
    EXPECT_EQ(boxes.Shown().back().Text, QStringLiteral("Remove File1.asm?"));
    EXPECT_EQ(boxes.Shown().back().Caption, QStringLiteral("Confirm"));
    EXPECT_EQ(ProjectNode(0)->childCount(), 2);
    boxes.Answer(TMessageResult::Yes);
    View->RemoveFromProjectA->trigger();
    ASSERT_EQ(ProjectNode(0)->childCount(), 1);
    EXPECT_EQ(FileNode(0, 0)->text(0), QStringLiteral("File2.asm"));
    // Numbers are not given again.
    View->SelectNode(ProjectNode(0));
    View->AddNewToProjectA->trigger();
    EXPECT_EQ(FileNode(0, 1)->text(0), QStringLiteral("File3.asm"));
}

TEST_F(ProjectManager, AddAsksForAnExistingSourceFile)
{
    TScriptedFileDialogs files;
    View->AddNewProjectA->trigger();
    const std::string path = Folder.Write("Intro.asm", "\tNOP\n");
    files.Answer(QString());  // cancelled
    files.Answer(QString::fromStdString(path));
    View->SelectNode(ProjectNode(0));
    View->AddToProjectA->trigger();
    EXPECT_EQ(ProjectNode(0)->childCount(), 1);
    View->SelectNode(ProjectNode(0));
    View->AddToProjectA->trigger();
    ASSERT_EQ(files.Requests().size(), 2u);
    EXPECT_FALSE(files.Requests()[0].Save);
    EXPECT_EQ(files.Requests()[0].Caption, QStringLiteral("Add to project"));
    EXPECT_EQ(files.Requests()[0].Filter, QStringLiteral("Z80 Assembler|*.asm"));
    ASSERT_EQ(ProjectNode(0)->childCount(), 2);
    EXPECT_EQ(FileNode(0, 1)->text(0), QStringLiteral("Intro.asm"));
    View->SelectNode(FileNode(0, 1));
    EXPECT_EQ(View->GetStatusText(), QString::fromStdString(path));
    EXPECT_EQ(Group.GetProject(0)->GetFile(1)->GetLine(0), "        NOP");
}

TEST_F(ProjectManager, ActivationAndDoubleClicks)
{
    View->AddNewProjectA->trigger();
    View->AddNewProjectA->trigger();
    View->SelectNode(ProjectNode(0));
    View->ActivateA->trigger();
    EXPECT_TRUE(Bold(ProjectNode(0)));
    EXPECT_FALSE(Bold(ProjectNode(1)));
    // The selection stays on the project through the rebuild.
    EXPECT_EQ(View->ProjectOf(View->GetSelectedNode()), Group.GetProject(0));

    // A double click on a project activates it and folds or unfolds it.
    View->ProjectManagerTVDblClick(ProjectNode(1));
    EXPECT_EQ(View->GetActiveProject(), Group.GetProject(1));
    EXPECT_TRUE(Bold(ProjectNode(1)));
    EXPECT_FALSE(ProjectNode(1)->isExpanded());
    EXPECT_FALSE(Group.GetProject(1)->IsExpanded());
    View->ProjectManagerTVDblClick(ProjectNode(1));
    EXPECT_TRUE(ProjectNode(1)->isExpanded());
    // On the group: nothing.
    View->ProjectManagerTVDblClick(Top());
    EXPECT_TRUE(Top()->isExpanded());
    EXPECT_EQ(View->GetActiveProject(), Group.GetProject(1));
}

TEST_F(ProjectManager, ExpandedFlagsSurviveRebuildsAndTheGroupStaysOpen)
{
    View->AddNewProjectA->trigger();
    View->AddNewProjectA->trigger();
    View->ProjectManagerTV->collapseItem(ProjectNode(0));
    EXPECT_FALSE(Group.GetProject(0)->IsExpanded());
    View->UpdateView();
    EXPECT_FALSE(ProjectNode(0)->isExpanded());
    EXPECT_TRUE(ProjectNode(1)->isExpanded());
    View->ProjectManagerTV->expandItem(ProjectNode(0));
    EXPECT_TRUE(Group.GetProject(0)->IsExpanded());

    View->ProjectManagerTV->collapseItem(Top());
    EXPECT_TRUE(Top()->isExpanded());
}

TEST_F(ProjectManager, RenamingTheGroupNamesItAndAnEmptyNameUnnamesIt)
{
    View->AddNewProjectA->trigger();
    View->SelectNode(Top());
    View->RenameProjectGroupA->trigger();
    auto* editor = View->ProjectManagerTV->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(editor->isVisible());
    // The end of the edit.
    Top()->setText(0, QStringLiteral("Demo"));
    Settle();
    EXPECT_EQ(Group.GetName(), "Demo");
    EXPECT_EQ(Top()->text(0), QStringLiteral("Demo"));
    EXPECT_EQ(View->GetStatusText(), QString::fromStdString(Group.GetFolder() + "/Demo.ZXGrp"));

    View->SelectNode(Top());
    Top()->setText(0, QString());
    Settle();
    EXPECT_EQ(Top()->text(0), QStringLiteral("<No Project Group>"));
    EXPECT_EQ(View->GetStatusText(), QStringLiteral("<No Project Group>"));
    PopupFor(Top());
    EXPECT_FALSE(View->RenameProjectGroupA->isEnabled());
}

TEST_F(ProjectManager, ProjectsAndFilesKeepTheirNamesAfterAnEdit)
{
    View->AddNewProjectA->trigger();
    ProjectNode(0)->setText(0, QStringLiteral("Renamed"));
    FileNode(0, 0)->setText(0, QStringLiteral("Other.asm"));
    Settle();
    EXPECT_EQ(ProjectNode(0)->text(0), QStringLiteral("Project1"));
    EXPECT_EQ(FileNode(0, 0)->text(0), QStringLiteral("File1.asm"));
}

TEST_F(ProjectManager, F2StartsTheRenameThatFitsTheNode)
{
    View->SelectNode(Top());
    View->ProjectManagerTVKeyDown(TProjectManagerF::KeyF2);
    // A group without a name is not renamed.
    EXPECT_EQ(View->ProjectManagerTV->findChild<QLineEdit*>(), nullptr);

    View->AddNewProjectA->trigger();
    View->SelectNode(FileNode(0, 0));
    QKeyEvent press(QEvent::KeyPress, Qt::Key_F2, Qt::NoModifier);
    QApplication::sendEvent(View->ProjectManagerTV, &press);
    auto* editor = View->ProjectManagerTV->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), QStringLiteral("File1.asm"));
}

TEST_F(ProjectManager, OpeningAFileShowsItInOneSourceViewer)
{
    View->AddNewProjectA->trigger();
    View->SelectNode(ProjectNode(0));
    View->AddNewToProjectA->trigger();
    View->SelectNode(FileNode(0, 0));
    View->OpenFileA->trigger();
    auto* editor = qobject_cast<TEditorF*>(Ide.FindView(TIDE::KindEditor, false));
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->GetDocument(), Group.GetProject(0)->GetFile(0));

    View->ProjectManagerTVDblClick(FileNode(0, 1));
    EXPECT_EQ(Ide.ToolWindows().size(), 1u);
    EXPECT_EQ(editor->GetPageCount(), 2);
    EXPECT_EQ(editor->GetDocument(), Group.GetProject(0)->GetFile(1));
}

TEST_F(ProjectManager, RemovingAnOpenFileClosesItsPage)
{
    TScriptedMessageBoxes boxes;
    View->AddNewProjectA->trigger();
    View->AddNewProjectA->trigger();
    View->SelectNode(FileNode(0, 0));
    View->OpenFileA->trigger();
    View->SelectNode(FileNode(1, 0));
    View->OpenFileA->trigger();
    auto* editor = qobject_cast<TEditorF*>(Ide.FindView(TIDE::KindEditor, false));
    ASSERT_NE(editor, nullptr);
    ASSERT_EQ(editor->GetPageCount(), 2);

    boxes.Answer(TMessageResult::Yes);
    View->SelectNode(FileNode(1, 0));
    View->RemoveFromProjectA->trigger();
    EXPECT_EQ(editor->GetPageCount(), 1);
    EXPECT_EQ(editor->GetDocument(), Group.GetProject(0)->GetFile(0));

    boxes.Answer(TMessageResult::Yes);
    View->SelectNode(ProjectNode(0));
    View->RemoveProjectA->trigger();
    EXPECT_EQ(editor->GetPageCount(), 0);
    EXPECT_EQ(editor->GetDocument(), nullptr);
}

TEST_F(ProjectManager, TwoManagersOfOneGroupShowTheSameTree)
{
    auto* other = new TProjectManagerF(&Owner, &Group, Ide);
    View->AddNewProjectA->trigger();
    ASSERT_EQ(other->GetGroupNode()->childCount(), 1);
    EXPECT_EQ(other->GetGroupNode()->child(0)->child(0)->text(0), QStringLiteral("File1.asm"));

    TScriptedMessageBoxes boxes;
    boxes.Answer(TMessageResult::Yes);
    other->SelectNode(other->GetGroupNode()->child(0));
    other->RemoveProjectA->trigger();
    EXPECT_EQ(Top()->childCount(), 0);
    delete other;
}

} // namespace
