// Wiring of the tape recorder, pages and placeholder views and of the
// dump, snapshot, options and about dialogs into the program.
//
// Start-up (main, after the main window; the expression and quick-assembler
// dialogs of their own unit go between, in the program's dialog order):
//
//     RegisterMachineViews(g_IDE);     // kinds 5, 6, 8, 9, 10, 11, 13, 14
//     CreateOptionsDialog(mainWindow);  // OptionsF
//     CreateDumpDialogs(mainWindow);    // SaveDumpF, LoadDumpF, SaveSnapshotF
//     CreateAboutDialog(mainWindow);    // AboutF
//     ...
//     DestroyMachineDialogs();          // before the main window goes
//
// The commands then call OptionsF->Execute(computer), AboutF->Execute(),
// SaveSnapshotF->Execute(computer), LoadDumpF->Execute(data, computer) and
// SaveDumpF->Execute(data, computer).
#pragma once

class QWidget;
class TIDE;

// The tape recorder (5), the pages view (14) and the placeholder views
// (6 oscilloscope, 8 keyboard, 9 Beta Disk, 10 tape, 11 breakpoints, 13 disk).
void RegisterMachineViews(TIDE& ide);

// Each creates its dialogs hidden, owned by the owner window; a global is
// cleared when its dialog goes with the owner.
void CreateOptionsDialog(QWidget* owner);
void CreateDumpDialogs(QWidget* owner);
void CreateAboutDialog(QWidget* owner);
// Deletes the dialogs still alive, in the reverse order of creation.
void DestroyMachineDialogs();
