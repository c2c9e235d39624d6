// The project group: its made-up name and path, projects numbered once in
// the group's life, files numbered across all its projects, removal and
// clearing.
#include "tests/support/Test_settings.h"
#include "views/Asm_file.h"
#include "views/Project.h"
#include "views/Project_group.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

std::vector<std::string> FileNames(const TProject& project)
{
    std::vector<std::string> names;
    for (i32 j = 0; j < project.GetFileCount(); ++j)
        names.push_back(project.GetFile(j)->GetName());
    return names;
}

TEST(ProjectGroup, AFreshGroupIsEmptyNamelessAndModified)
{
    TTempHome home;
    TProjectGroup group;
    EXPECT_EQ(group.GetProjectCount(), 0);
    EXPECT_EQ(group.GetProject(0), nullptr);
    EXPECT_EQ(group.GetName(), "<No Project Group>");
    EXPECT_EQ(group.GetPath(), "<No Project Group>");
    EXPECT_FALSE(group.HasName());
    EXPECT_EQ(group.GetFolder(), home.Path() + "/ZXProjects");
    EXPECT_TRUE(group.IsModified());
    EXPECT_EQ(group.NextFileNumber(), 1);
    EXPECT_EQ(group.NextFileNumber(), 2);
}

TEST(ProjectGroup, NewProjectsAreNumberedAndShareTheFileNumbers)
{
    TTempHome home;
    const std::string folder = home.Path() + "/ZXProjects";
    TProjectGroup group;
    TProject* first = group.NewProject();
    EXPECT_EQ(group.GetName(), "ProjectGroup");
    EXPECT_EQ(group.GetPath(), folder + "/ProjectGroup.ZXGrp");
    EXPECT_EQ(first->GetName(), "Project1");
    EXPECT_EQ(first->GetPath(), folder + "/Project1.ZXPrj");
    EXPECT_EQ(first->GetGroup(), &group);
    EXPECT_TRUE(first->IsExpanded());
    EXPECT_EQ(FileNames(*first), std::vector<std::string>{"File1.asm"});
    EXPECT_EQ(first->GetFile(0)->GetPath(), folder + "/File1.asm");
    EXPECT_EQ(first->GetFile(0)->GetLineCount(), 0);

    TProject* second = group.NewProject();
    EXPECT_EQ(second->GetName(), "Project2");
    EXPECT_EQ(FileNames(*second), std::vector<std::string>{"File2.asm"});
    first->NewFile();
    EXPECT_EQ(FileNames(*first), (std::vector<std::string>{"File1.asm", "File3.asm"}));
    EXPECT_EQ(group.GetProjectCount(), 2);
    EXPECT_EQ(group.GetProject(1), second);
    EXPECT_EQ(group.GetProject(2), nullptr);
    EXPECT_EQ(group.GetProject(-1), nullptr);
    EXPECT_FALSE(std::filesystem::exists(folder)) << "the folder is only named, never made";
}

TEST(ProjectGroup, NumbersAreNeverGivenTwice)
{
    TProjectGroup group;
    TProject* first = group.NewProject();
    group.NewProject();
    ASSERT_TRUE(group.RemoveProject(first));
    EXPECT_EQ(group.GetProjectCount(), 1);
    EXPECT_EQ(group.GetProject(0)->GetName(), "Project2");
    TProject* third = group.NewProject();
    EXPECT_EQ(third->GetName(), "Project3");
    EXPECT_EQ(FileNames(*third), std::vector<std::string>{"File3.asm"});

    ASSERT_TRUE(third->RemoveFile(third->GetFile(0)));
    EXPECT_EQ(third->NewFile()->GetName(), "File4.asm");
}

TEST(ProjectGroup, RemovingKeepsTheOrderAndRefusesStrangers)
{
    TProjectGroup group;
    std::vector<TProject*> projects;
    for (int i = 0; i < 4; ++i)
        projects.push_back(group.NewProject());
    ASSERT_TRUE(group.RemoveProject(projects[1]));
    EXPECT_EQ(group.GetProject(0), projects[0]);
    EXPECT_EQ(group.GetProject(1), projects[2]);
    EXPECT_EQ(group.GetProject(2), projects[3]);

    // A project of another group, or none, is not touched.
    TProjectGroup other;
    TProject* foreign = other.NewProject();
    EXPECT_FALSE(group.RemoveProject(foreign));
    EXPECT_FALSE(group.RemoveProject(nullptr));
    EXPECT_EQ(group.GetProjectCount(), 3);
    EXPECT_EQ(other.GetProject(0), foreign);
    EXPECT_EQ(foreign->GetFileCount(), 1);
}

TEST(ProjectGroup, ANameTheUserGaveStaysWhenProjectsAreAdded)
{
    TProjectGroup group;
    group.SetName("Game");
    EXPECT_EQ(group.GetName(), "Game");
    EXPECT_EQ(group.GetPath(), group.GetFolder() + "/Game.ZXGrp");
    group.NewProject();
    EXPECT_EQ(group.GetName(), "Game");

    // An empty name is no name: a new project names the group again.
    group.SetName("");
    EXPECT_FALSE(group.HasName());
    EXPECT_EQ(group.GetName(), "<No Project Group>");
    EXPECT_EQ(group.GetPath(), "<No Project Group>");
    group.NewProject();
    EXPECT_EQ(group.GetName(), "ProjectGroup");
}

TEST(ProjectGroup, ClearForgetsProjectsAndNameButNotTheNumbers)
{
    TProjectGroup group;
    group.NewProject();
    group.NewProject();
    group.Clear();
    EXPECT_EQ(group.GetProjectCount(), 0);
    EXPECT_EQ(group.GetName(), "<No Project Group>");
    EXPECT_TRUE(group.IsModified());
    TProject* next = group.NewProject();
    EXPECT_EQ(next->GetName(), "Project3");
    EXPECT_EQ(next->GetFile(0)->GetName(), "File3.asm");
}

} // namespace
