#include <windows.h>

#include "app/application.h"
#include "platform/system_dll.h"
#include "ui/unit_main.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    // Before anything loads a DLL the system does not protect (winmm with the main window).
    RestrictDllSearchToSystem();

    TApplication application;
    Application = &application;
    TForm1 form;
    Form1 = &form;
    const int code = application.Start([&] {
        application.Initialize(instance);
        form.Create(application.Handle());
        application.SetMainWindow(form.Handle());
        form.Show();
    });
    Form1 = nullptr;
    Application = nullptr;
    return code;
}
