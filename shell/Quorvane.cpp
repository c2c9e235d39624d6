// The application entry.
//
// Unit initialisation: before main runs, the evaluator (with an empty
// variable map), the assembler's keyword map and the palette's table of
// blend indices are built with the program's globals; main then gives the
// view manager its project group. Then, in this order: the 20 ms clock, the
// settings (read from the per-user store), the application titled
// "Quorvane", the host keyboard, the main window (which builds the sound
// output, the computer and the key thread), the dialogs, and the message
// loop, after a word about any ROM that could not be loaded. Everything goes
// in the reverse order.
#include "core/Clock.h"
#include "core/Computer.h"
#include "core/Memory.h"
#include "core/Settings.h"
#include "platform/Application.h"
#include "platform/Qt_key_source.h"
#include "platform/Sdl_sound_device.h"
#include "shell/Ide.h"
#include "shell/Main.h"
#include "shell/Rom_report.h"
#include "views/Debugger_views.h"
#include "views/Machine_views.h"
#include "views/Project_views.h"

#include <QByteArray>

#include <cstdio>
#include <exception>
#include <memory>
#include <string>

namespace {

// Docking needs global window positions, which Wayland does not give: on a
// Wayland session the program asks for X11 (XWayland serves it), with
// Wayland itself as the fallback. An explicit choice by the user stands.
void PreferX11()
{
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        return;
    const bool wayland = qgetenv("XDG_SESSION_TYPE") == "wayland" || qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
    if (wayland)
        qputenv("QT_QPA_PLATFORM", "xcb;wayland");
}

// The exception display before the application exists, and after it has gone.
void ShowFatal(const std::string& text)
{
    if (TApplication::Instance())
        TApplication::ShowException(text);
    else
        std::fprintf(stderr, "Quorvane: %s\n", text.c_str());
}

} // namespace

int main(int argc, char** argv)
{
    PreferX11();
    int result = 0;
    try {
        InstallProjectGroup(g_IDE);
        TClock clock;
        g_Clock = &clock;
        TSettings settings;
        g_Settings = &settings;
        try {
            TApplication app(argc, argv);
            QCoreApplication::setApplicationName(QStringLiteral("Quorvane"));
            TApplicationTitle title;
            title.SetTitle("Quorvane");
            TQtKeySource keys;

            TMainParts parts;
            parts.Services = {&app, &app, &title};
            parts.SoundDevice = std::make_unique<TSdlSoundDevice>();
            parts.KeySource = &keys;
            try {
                auto mainWindow = std::make_unique<TMainF>(std::move(parts));
                // The dialogs, hidden until their commands show them.
                CreateExpressionDialog(mainWindow.get());
                CreateOptionsDialog(mainWindow.get());
                CreateQuickAsmDialog(mainWindow.get());
                CreateDumpDialogs(mainWindow.get());  // save-dump, load-dump, save-snapshot
                CreateAboutDialog(mainWindow.get());
                mainWindow->show();
                ReportRomProblems(mainWindow.get(), *mainWindow->GetComputer()->Memory);
                result = app.exec();
                // The clock paces by sleeping from here on; the run has ended.
                clock.Stop();
                DestroyMachineDialogs();
                DestroyDebuggerDialogs();
                mainWindow.reset();
            } catch (const std::exception& error) {
                ShowFatal(error.what());
                result = 1;
            }
        } catch (const std::exception& error) {
            ShowFatal(error.what());
            result = 1;
        }
        clock.Stop();
        g_Settings = nullptr;
        // The settings write their stored values back as they go.
    } catch (const std::exception& error) {
        ShowFatal(error.what());
        result = 1;
    }
    g_Clock = nullptr;
    return result;
}
