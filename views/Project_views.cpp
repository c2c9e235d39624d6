#include "views/Project_views.h"

#include "shell/Ide.h"
#include "views/Editor_frame.h"
#include "views/Project_group.h"
#include "views/Project_manager_frame.h"

#include <memory>

void InstallProjectGroup(TIDE& ide)
{
    if (!ide.GetProjectGroup())
        ide.SetProjectGroup(std::make_shared<TProjectGroup>());
}

void RegisterProjectViews(TIDE& ide)
{
    InstallProjectGroup(ide);
    ide.RegisterView(TIDE::KindProjectManager, [](QWidget* owner, TComputer*, TIDE& viewManager) -> TViewF* {
        InstallProjectGroup(viewManager);
        return new TProjectManagerF(owner, viewManager.GetProjectGroup(), viewManager);
    });
    ide.RegisterView(TIDE::KindEditor,
                     [](QWidget* owner, TComputer*, TIDE&) -> TViewF* { return new TEditorF(owner); });
}
