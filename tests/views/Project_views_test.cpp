// Start-up wiring of the project views: the view manager's one project
// group, and the project manager and source viewer opened by their kinds.
#include "tests/shell/Qt_test_app.h"

#include "shell/Frames_form.h"
#include "shell/Ide.h"
#include "views/Editor_frame.h"
#include "views/Project.h"
#include "views/Project_group.h"
#include "views/Project_manager_frame.h"
#include "views/Project_views.h"

#include <QTreeWidget>

namespace {

class ProjectViews : public ::testing::Test {
protected:
    ProjectViews()
    {
        g_ViewCounter = 0;
        Ide.Init(&Owner, nullptr);
    }
    ~ProjectViews() override
    {
        Ide.CloseAll();
        Settle();
    }

    QWidget Owner;
    TIDE Ide;
};

TEST_F(ProjectViews, TheViewManagerGetsOneEmptyGroup)
{
    EXPECT_EQ(Ide.GetProjectGroup(), nullptr);
    InstallProjectGroup(Ide);
    TProjectGroup* group = Ide.GetProjectGroup();
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->GetProjectCount(), 0);
    EXPECT_FALSE(group->HasName());
    InstallProjectGroup(Ide);
    RegisterProjectViews(Ide);
    EXPECT_EQ(Ide.GetProjectGroup(), group);
}

TEST_F(ProjectViews, KindsSevenAndTwelveOpenTheProjectManagerAndTheSourceViewer)
{
    RegisterProjectViews(Ide);
    EXPECT_TRUE(Ide.IsViewRegistered(TIDE::KindProjectManager));
    EXPECT_TRUE(Ide.IsViewRegistered(TIDE::KindEditor));
    Ide.GetProjectGroup()->NewProject();

    auto* manager = qobject_cast<TProjectManagerF*>(Ide.ShowView(TIDE::KindProjectManager));
    ASSERT_NE(manager, nullptr);
    EXPECT_EQ(manager->objectName(), QStringLiteral("ProjectManager1"));
    EXPECT_EQ(manager->Caption, QStringLiteral("Project Manager #1"));
    EXPECT_EQ(manager->ClassName(), QStringLiteral("TProjectManagerF"));
    // It shows the view manager's group at once.
    ASSERT_NE(manager->GetGroupNode(), nullptr);
    EXPECT_EQ(manager->GetGroupNode()->text(0), QStringLiteral("ProjectGroup"));
    EXPECT_EQ(manager->GetGroupNode()->child(0)->text(0), QStringLiteral("Project1"));

    auto* editor = qobject_cast<TEditorF*>(Ide.ShowView(TIDE::KindEditor));
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->objectName(), QStringLiteral("Editor2"));
    EXPECT_EQ(editor->Caption, QStringLiteral("Editor #2"));
    EXPECT_EQ(Ide.FindView(TIDE::KindEditor, false), editor);
    EXPECT_EQ(Ide.FindView(TIDE::KindProjectManager, false), manager);
    // Every update of the views rebuilds the tree from the group.
    Ide.GetProjectGroup()->NewProject();
    Ide.UpdateViews();
    EXPECT_EQ(manager->GetGroupNode()->childCount(), 2);
}

TEST_F(ProjectViews, AViewManagerWithoutAGroupGetsOneWithTheFirstManager)
{
    Ide.RegisterView(TIDE::KindProjectManager, nullptr);
    RegisterProjectViews(Ide);
    Ide.SetProjectGroup(nullptr);
    auto* manager = qobject_cast<TProjectManagerF*>(Ide.ShowView(TIDE::KindProjectManager));
    ASSERT_NE(manager, nullptr);
    ASSERT_NE(Ide.GetProjectGroup(), nullptr);
    EXPECT_EQ(manager->GetGroupNode()->text(0), QStringLiteral("<No Project Group>"));
}

} // namespace
