// Start-up wiring of the project views: the view manager's project group,
// and the creation hooks of the project manager (view kind 7) and the source
// viewer (view kind 12).
//
//     InstallProjectGroup(g_IDE);    // with the other unit initialisation
//     RegisterProjectViews(g_IDE);   // before the first view opens
#pragma once

class TIDE;

// Gives the view manager a new, empty project group (it owns it from then
// on), unless it has one already.
void InstallProjectGroup(TIDE& ide);

// Registers TProjectManagerF (kind 7), shown with the view manager's group,
// and TEditorF (kind 12). A view manager still without a group gets one.
void RegisterProjectViews(TIDE& ide);
