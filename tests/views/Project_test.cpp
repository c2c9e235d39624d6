// A project's files: new and existing files in the order they came, the
// text of an existing file, removal that keeps the order, and the lifetime
// token a viewer watches.
#include "tests/views/Source_file_testing.h"

#include "views/Asm_file.h"
#include "views/Project.h"
#include "views/Project_group.h"

#include <gtest/gtest.h>

namespace {

TEST(Project, ExistingFilesAreReadWholeWhenAdded)
{
    TSourceFolder folder;
    TProjectGroup group;
    TProject* project = group.NewProject();
    TAsmFile* added = project->AddFile(folder.Write("Main.asm", "\tORG\t#8000\n\tRET\n"));
    EXPECT_EQ(project->GetFileCount(), 2);
    EXPECT_EQ(project->GetFile(1), added);
    EXPECT_EQ(added->GetProject(), project);
    EXPECT_EQ(added->GetName(), "Main.asm");
    EXPECT_EQ(added->GetPath(), (folder.Path() / "Main.asm").string());
    EXPECT_EQ(added->GetLineCount(), 2);
    EXPECT_EQ(added->GetLine(0), "        ORG     #8000");

    // Read once: a later change on disk is not seen.
    folder.Write("Main.asm", "changed\n\n\n");
    EXPECT_EQ(added->GetLineCount(), 2);
    // An unreadable path still makes a file, without lines.
    TAsmFile* missing = project->AddFile((folder.Path() / "gone.asm").string());
    EXPECT_EQ(missing->GetName(), "gone.asm");
    EXPECT_EQ(missing->GetLineCount(), 0);
}

TEST(Project, RemovingAFileKeepsTheOthersInOrderAndEndsItsLife)
{
    TProjectGroup group;
    TProject* project = group.NewProject();
    TAsmFile* second = project->NewFile();
    TAsmFile* third = project->NewFile();
    TAsmFile* first = project->GetFile(0);
    const auto life = second->GetLifetime();
    EXPECT_FALSE(life.expired());

    ASSERT_TRUE(project->RemoveFile(second));
    EXPECT_TRUE(life.expired());
    EXPECT_EQ(project->GetFileCount(), 2);
    EXPECT_EQ(project->GetFile(0), first);
    EXPECT_EQ(project->GetFile(1), third);
    EXPECT_EQ(project->GetFile(2), nullptr);
    EXPECT_EQ(project->GetFile(-1), nullptr);

    // A file of another project is not this project's to remove.
    TProject* other = group.NewProject();
    EXPECT_FALSE(project->RemoveFile(other->GetFile(0)));
    EXPECT_FALSE(project->RemoveFile(nullptr));
    EXPECT_EQ(other->GetFileCount(), 1);

    // Removing the project ends the life of its files.
    const auto thirdLife = third->GetLifetime();
    ASSERT_TRUE(group.RemoveProject(project));
    EXPECT_TRUE(thirdLife.expired());
}

} // namespace
