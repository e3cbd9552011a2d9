// The program's entry: the frame, and the one main window standing on it.
#include <windows.h>

#include "frame/application.h"
#include "platform/system_dll.h"
#include "ui/unit_main.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    // Before anything loads a DLL the system does not protect (winmm with the main window).
    RestrictDllSearchToSystem();

    TApplication application;
    TForm1 Form1(application);
    return application.Start([&] {
        application.Initialize(instance);
        Form1.Create();
        application.SetMainWindow(Form1.Handle());
        Form1.Show();
    });
}
