#include "views/Project.h"

#include "views/Asm_file.h"

#include <algorithm>

TProject::TProject(TProjectGroup* group, i32 number)
    : Group(group)
    , Name("Project" + std::to_string(number))
{
    Path = GetFolder() + "/" + Name + ".ZXPrj";
    NewFile();
}

TProject::~TProject() = default;

std::string TProject::GetFolder() const
{
    return Group ? Group->GetFolder() : TProjectGroup::DefaultFolder();
}

TAsmFile* TProject::NewFile()
{
    // A project outside a group numbers its files by itself.
    const i32 number = Group ? Group->NextFileNumber() : GetFileCount() + 1;
    Files.push_back(std::make_unique<TAsmFile>(this, number));
    return Files.back().get();
}

TAsmFile* TProject::AddFile(const std::string& path)
{
    Files.push_back(std::make_unique<TAsmFile>(this, path));
    return Files.back().get();
}

bool TProject::RemoveFile(TAsmFile* file)
{
    const auto it = std::find_if(Files.begin(), Files.end(),
                                 [file](const std::unique_ptr<TAsmFile>& f) { return f.get() == file; });
    if (it == Files.end())
        return false;
    Files.erase(it);
    return true;
}

TAsmFile* TProject::GetFile(i32 i) const
{
    if (i < 0 || i >= GetFileCount())
        return nullptr;
    return Files[static_cast<std::size_t>(i)].get();
}
