#include "views/Project_group.h"

#include "core/Home_folder.h"
#include "views/Asm_file.h"
#include "views/Project.h"

#include <algorithm>

std::string TProjectGroup::DefaultFolder()
{
    return HomeFolder() + "/ZXProjects";
}

TProjectGroup::TProjectGroup() = default;

TProjectGroup::~TProjectGroup()
{
    Clear();
}

TProject* TProjectGroup::NewProject()
{
    if (!HasName())
        SetName(DefaultName);
    const i32 number = NextProjectNo++;
    Projects.push_back(std::make_unique<TProject>(this, number));
    Modified = true;
    return Projects.back().get();
}

bool TProjectGroup::RemoveProject(TProject* project)
{
    const auto it = std::find_if(Projects.begin(), Projects.end(),
                                 [project](const std::unique_ptr<TProject>& p) { return p.get() == project; });
    if (it == Projects.end())
        return false;
    Projects.erase(it);
    Modified = true;
    return true;
}

TProject* TProjectGroup::GetProject(i32 i) const
{
    if (i < 0 || i >= GetProjectCount())
        return nullptr;
    return Projects[static_cast<std::size_t>(i)].get();
}

std::string TProjectGroup::GetName() const
{
    return HasName() ? Name : std::string(NoProjectGroup);
}

std::string TProjectGroup::GetPath() const
{
    return HasName() ? Path : std::string(NoProjectGroup);
}

void TProjectGroup::SetName(const std::string& name)
{
    Name = name;
    Path = Folder + "/" + name + ".ZXGrp";
    Modified = true;
}

i32 TProjectGroup::NextFileNumber()
{
    return NextFileNo++;
}

void TProjectGroup::Clear()
{
    Projects.clear();
    Name.clear();
    Path.clear();
    Modified = true;
}
