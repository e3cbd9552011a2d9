#include <windows.h>

#include "app/application.h"
#include "ui/unit_main.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    TApplication application;
    Application = &application;
    application.Initialize(instance);

    TForm1 form;
    Form1 = &form;
    form.Create(application.Handle());
    application.SetMainWindow(form.Handle());
    form.Show();
    const int code = application.Run();
    Form1 = nullptr;
    Application = nullptr;
    return code;
}
