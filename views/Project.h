// TProject: one project of the group, holding its assembler source files in
// the order they were added. Its name is "Project<n>", its path the made-up
// "<group folder>\Project<n>.ZXPrj" (never written).
#pragma once

#include "core/Types.h"
#include "views/Project_group.h"

#include <memory>
#include <string>
#include <vector>

class TAsmFile;

class TProject {
public:
    // "Project<number>", expanded, with one new file.
    TProject(TProjectGroup* group, i32 number);
    // Deletes its files.
    ~TProject();
    TProject(const TProject&) = delete;
    TProject& operator=(const TProject&) = delete;

    // The group's folder.
    std::string GetFolder() const;
    TProjectGroup* GetGroup() const { return Group; }

    // Appends a new, empty "File<n>.asm", numbered by the group.
    TAsmFile* NewFile();
    // Appends the existing file at the path, read whole now.
    TAsmFile* AddFile(const std::string& path);
    // Takes the file out (the others keep their order) and deletes it.
    // False for a file not in this project.
    bool RemoveFile(TAsmFile* file);
    // File i, or null when there is none.
    TAsmFile* GetFile(i32 i) const;
    i32 GetFileCount() const { return static_cast<i32>(Files.size()); }

    const std::string& GetName() const { return Name; }
    const std::string& GetPath() const { return Path; }
    // The project's node is shown expanded in the project manager.
    bool IsExpanded() const { return Expanded; }
    void SetExpanded(bool expanded) { Expanded = expanded; }

private:
    TProjectGroup* Group;
    std::string Path;
    std::string Name;
    std::vector<std::unique_ptr<TAsmFile>> Files;
    bool Expanded = true;
};
