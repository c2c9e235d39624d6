// TProjectGroup: the IDE's one group of projects, the top of the in-memory
// project tree (group, projects, their source files). The view manager owns
// it; the project manager view shows and changes it.
//
// Nothing of the tree is ever written to disk and no project or group file
// is ever read: the ".ZXGrp" and ".ZXPrj" paths are names the tree makes up
// to show, in a "ZXProjects" folder of the user's home
// ("/home/ann/ZXProjects/ProjectGroup.ZXGrp"), which is never created.
//
// Project and file numbers only grow: a number is never given twice in the
// life of the group, so a removed file's name does not come back.
#pragma once

#include "core/Types.h"

#include <memory>
#include <string>
#include <vector>

class TProject;

class TProjectGroup {
public:
    // The folder the made-up paths name: "ZXProjects" in the user's home.
    static std::string DefaultFolder();
    static constexpr const char* DefaultName = "ProjectGroup";
    // What the name and the path read while the group has no name.
    static constexpr const char* NoProjectGroup = "<No Project Group>";

    // Empty, without a name, both numbers at 1, modified.
    TProjectGroup();
    // Deletes every project with its files.
    ~TProjectGroup();
    TProjectGroup(const TProjectGroup&) = delete;
    TProjectGroup& operator=(const TProjectGroup&) = delete;

    // Appends "Project<n>" with one new file and returns it. A group
    // without a name is named "ProjectGroup" first; a name the user gave it
    // stays.
    TProject* NewProject();
    // Takes the project out (the others keep their order) and deletes it
    // with its files. False, and nothing touched, for a project not in the
    // group.
    bool RemoveProject(TProject* project);
    // Project i, or null when there is none.
    TProject* GetProject(i32 i) const;
    i32 GetProjectCount() const { return static_cast<i32>(Projects.size()); }
    const std::string& GetFolder() const { return Folder; }
    // Set by every change of the group; nothing clears it.
    bool IsModified() const { return Modified; }

    // The name and the path, or "<No Project Group>" while there is no name.
    std::string GetName() const;
    std::string GetPath() const;
    bool HasName() const { return !Name.empty(); }
    void SetName(const std::string& name);

    // The number of the next new source file of any project of the group.
    i32 NextFileNumber();

    // Deletes every project and forgets the name.
    void Clear();

private:
    std::vector<std::unique_ptr<TProject>> Projects;
    i32 NextProjectNo = 1;
    i32 NextFileNo = 1;
    std::string Path;
    std::string Name;
    std::string Folder = DefaultFolder();
    bool Modified = true;
};
