#include "ui/unit_main.h"

TForm1* Form1 = nullptr;

TForm1::TForm1(IWaveIn& waveIn) : device_(waveIn)
{
    DeviceErrorBox = [this](const std::wstring& text) {
        MessageBoxW(handle_, text.c_str(), L"ОШИБКА!", MB_OK | MB_ICONSTOP);
    };
}

TForm1::~TForm1()
{
    if (handle_)
        DestroyWindow(handle_);
    if (font_)
        DeleteObject(font_);
    if (labelFont_)
        DeleteObject(labelFont_);
}
