// A stand-in for "another program" in the tests of ending processes and running commands:
//   external_helper windows <n> <event> [<closed>]
//                                        n top-level windows, then sets the named event; each
//                                        window closes on WM_CLOSE, the program sets <closed> and
//                                        ends when the last one is gone
//   external_helper stubborn <n> <event> the same, but the windows ignore WM_CLOSE
//   external_helper windowless           no window at all; runs until it is terminated
//   external_helper sleep <ms> <file>    sleeps, then writes <file> and ends with exit code 3
//   external_helper service <name> <event>
//                                        a service of that name, started by the service manager:
//                                        reports running, then sets the named event; stops when
//                                        asked to
#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace {

int openWindows = 0;
bool ignoreClose = false;
const char* closedEvent = nullptr;

LRESULT CALLBACK HelperWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE && ignoreClose)
        return 0;
    if (message == WM_DESTROY && --openWindows == 0) {
        // The test learns that the request was honoured from the program itself, not from how
        // fast the system then ends the process.
        if (HANDLE closed = closedEvent ? OpenEventA(EVENT_MODIFY_STATE, FALSE, closedEvent) : nullptr) {
            SetEvent(closed);
            CloseHandle(closed);
        }
        PostQuitMessage(0);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

int RunWindows(int count, const char* readyEvent, const char* windowsClosedEvent) {
    closedEvent = windowsClosedEvent;
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = HelperWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"PelloraExternalHelper";
    RegisterClassW(&windowClass);
    for (int i = 0; i < count; ++i) {
        if (CreateWindowExW(0, windowClass.lpszClassName, L"helper", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                            nullptr, windowClass.hInstance, nullptr)) {
            ++openWindows;
        }
    }
    if (openWindows == 0)
        return 2;
    if (HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, readyEvent)) {
        SetEvent(ready);
        CloseHandle(ready);
    }
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    return 0;
}

SERVICE_STATUS_HANDLE serviceStatus = nullptr;
HANDLE serviceStop = nullptr;
const char* serviceRunningEvent = nullptr;

void ReportService(DWORD state) {
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    SetServiceStatus(serviceStatus, &status);
}

DWORD WINAPI ServiceControl(DWORD control, DWORD, void*, void*) {
    if (control == SERVICE_CONTROL_STOP) {
        ReportService(SERVICE_STOP_PENDING);
        SetEvent(serviceStop);
    }
    return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, char** argv) {
    serviceStatus = RegisterServiceCtrlHandlerExA(argv[0], ServiceControl, nullptr);
    if (!serviceStatus)
        return;
    ReportService(SERVICE_RUNNING);
    if (HANDLE running = serviceRunningEvent ? OpenEventA(EVENT_MODIFY_STATE, FALSE, serviceRunningEvent) : nullptr) {
        SetEvent(running);
        CloseHandle(running);
    }
    WaitForSingleObject(serviceStop, INFINITE);
    ReportService(SERVICE_STOPPED);
}

int RunService(char* name, const char* runningEvent) {
    serviceRunningEvent = runningEvent;
    serviceStop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SERVICE_TABLE_ENTRYA table[] = {{name, ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherA(table) ? 0 : 4;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::strcmp(argv[1], "windows") == 0)
        return RunWindows(std::atoi(argv[2]), argv[3], argc >= 5 ? argv[4] : nullptr);
    if (argc >= 4 && std::strcmp(argv[1], "stubborn") == 0) {
        ignoreClose = true;
        return RunWindows(std::atoi(argv[2]), argv[3], nullptr);
    }
    if (argc >= 2 && std::strcmp(argv[1], "windowless") == 0) {
        for (;;)
            Sleep(1000);
    }
    if (argc >= 4 && std::strcmp(argv[1], "sleep") == 0) {
        Sleep(static_cast<DWORD>(std::atoi(argv[2])));
        HANDLE file = CreateFileA(argv[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        return 3;
    }
    if (argc >= 3 && std::strcmp(argv[1], "service") == 0)
        return RunService(argv[2], argc >= 4 ? argv[3] : nullptr);
    return 1;
}
