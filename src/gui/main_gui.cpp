// Entry point of Pellora.exe: the single-instance check, the splash window, the main window
// over the real Windows adapters, start-up, the message loop and shutdown.
#include "core/app/app.h"
#include "win32/logon_task_win.h"
#include "win32/platform_win.h"
// The GUI headers last: <windows.h> turns names of the ports (DeleteFile, ...) into macros.
#include "gui/gui_ui.h"
#include "gui/main_window.h"
#include "gui/single_instance.h"
#include "gui/splash_window.h"
#include "gui/wiring.h"
#include "win32/library_loading.h"

using namespace pellora;

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    win32::LoadLibrariesFromSystemOnly();
    // Before anything else, so that a second copy ends without touching a file or the tray.
    gui::SingleInstance instance;
    if (instance.anotherRunning())
        return 0;

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&controls);

    win32::PlatformWin platform;
    gui::GuiUi ui;
    Ports ports = platform.PortsWith(ui);
    App app(ports);
    // The window runs elevated, so it may keep the start-at-logon task (the console program does not).
    win32::LogonTaskWin logonTask;
    app.settingsApplier().logonTask = &logonTask;
    gui::GuiCommands commands;
    gui::WireCommands(app, commands);

    gui::SplashWindow splash;
    HICON icon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    splash.Create(icon);
    splash.StepAsideForMessages(ui);

    gui::MainWindow window(app, commands, ui);
    window.onActivated = [&splash] { splash.Close(); };
    window.onSplashChanged = [&splash, &app] { splash.SetText(app.state().splashText); };
    if (!window.Create())
        return 1;
    platform.shell.owner = window.hwnd();

    if (!gui::StartUp(app, window, instance.anotherRunning())) {
        DestroyWindow(window.hwnd());
        splash.Close();
        return 0;
    }
    ShowWindow(window.hwnd(), app.state().windowMinimized ? SW_SHOWMINIMIZED : SW_SHOWNORMAL);
    UpdateWindow(window.hwnd());
    // Showing the window activates it, which closes the splash; a window started minimised is
    // never activated, and without a window manager (Wine on a bare X server) activation may not
    // come either, yet the splash must go.
    splash.Close();

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        ui.Dispatch(message);
    splash.Close();
    if (icon)
        DestroyIcon(icon);
    return static_cast<int>(message.wParam);
}
