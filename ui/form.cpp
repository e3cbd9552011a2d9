// The main window: its controls, their places at the window's density, and their look.
#include "ui/unit_main.h"

#include <commctrl.h>

#include "platform/dpi.h"
#include "ui/control_ids.h"
#include "ui/size_readout.h"
#include "ui/window_font.h"

namespace {

constexpr wchar_t kClassName[] = L"TForm1";


struct Geometry {
    int left, top, width, height;
};

// At 96 pixels per inch; children of a group box are placed relative to it.
constexpr int kClientWidth = 193;
constexpr int kClientHeight = 241;
constexpr Geometry kGroupBox1{8, 8, 177, 49};
constexpr Geometry kComboBox1{8, 16, 161, 21};
constexpr Geometry kGroupBox2{8, 64, 177, 121};
constexpr Geometry kListBox1{8, 16, 161, 97};
constexpr Geometry kBitBtn1{8, 192, 75, 25};
constexpr Geometry kBitBtn2{112, 192, 75, 25};
constexpr Geometry kLevelMeter1{112, 221, 75, 16}; // the strip right of Label1, under BitBtn2
constexpr int kLabel1Left = 8;
constexpr int kLabel1Top = 221;
constexpr int kItemHeight = 13;
constexpr int kSelectionHeight = 15; // ComboBox1's, inside its border at 96 ppi
constexpr int kDropDownHeight = 160; // the open list of ComboBox1

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;

// The window's outer size for the client area at `dpi`.
SIZE FrameSize(UINT dpi)
{
    const SIZE client{MulDiv(kClientWidth, static_cast<int>(dpi), 96), MulDiv(kClientHeight, static_cast<int>(dpi), 96)};
    return FrameSizeForDpi(client, kStyle, kExStyle, dpi);
}

constexpr wchar_t kGroupBox1Caption[] = L"Устройства аудиоввода";
constexpr wchar_t kGroupBox2Caption[] = L"Атрибуты звука";
constexpr wchar_t kBitBtn1Caption[] = L"Запись";
constexpr wchar_t kBitBtn2Caption[] = L"Стоп";
constexpr wchar_t kSilenceNotice[] =
    L"Первые 3 секунды записи — полная тишина: от микрофона не приходит никакого звука.\n\n"
    L"Возможно, у микрофона выключен звук или доступ к нему выключен в "
    L"Параметры → Конфиденциальность → Микрофон.\n\nЗапись продолжается.";

// Placed and given its font by ApplyDensity.
HWND CreateControl(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style, DWORD exStyle, int id)
{
    const HWND control = CreateWindowExW(exStyle, className, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0,
                                         parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                         GetModuleHandleW(nullptr), nullptr);
    if (!control)
        throw EAppError(std::wstring(L"Cannot create the control ") + className);
    return control;
}

// The selection field's height fixes the closed combo's height, whatever font the platform
// substitutes. The combo's border does not scale with the density, so it is measured.
void FitComboBox(HWND combo, int closedHeight)
{
    const int field = closedHeight - kComboBox1.height + kSelectionHeight; // its border at 96 ppi
    SendMessageW(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field);
    RECT closed{};
    GetWindowRect(combo, &closed);
    if (const int off = closedHeight - (closed.bottom - closed.top))
        SendMessageW(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field + off);
}

} // namespace

SIZE TForm1::FrameSizeAt(UINT dpi) const
{
    return FrameSize(dpi);
}

void TForm1::Create()
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    if (!GetClassInfoExW(instance, kClassName, &windowClass)) {
        windowClass = WNDCLASSEXW{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = WindowProc;
        windowClass.hInstance = instance;
        windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kApplicationIconId));
        windowClass.lpszClassName = kClassName;
        if (!RegisterClassExW(&windowClass))
            throw EAppError(L"Cannot register the main window's class");
    }

    // CreateWindowExW sends WM_NCCREATE, where the window procedure binds `this`. Sized once it is
    // on a monitor, whose density decides the size.
    if (!CreateWindowExW(kExStyle, kClassName, L"Запись звука", kStyle, CW_USEDEFAULT, CW_USEDEFAULT, 0, 0,
                         frame_.Handle(), nullptr, instance, this))
        throw EAppError(L"Cannot create the main window");

    CreateControls();
    const UINT dpi = WindowDpi(handle_);
    ApplyDensity(dpi);
    const SIZE frame = FrameSize(dpi);
    SetWindowPos(handle_, nullptr, 0, 0, frame.cx, frame.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    Guarded(frame_, [this] { FormCreate(); });
}

int TForm1::Scale(int pixels) const
{
    return MulDiv(pixels, dpi_, 96);
}

void TForm1::CreateControls()
{
    // Creation order is the tab order: ComboBox1, ListBox1, BitBtn1, BitBtn2.
    Label1 = CreateControl(handle_, WC_STATICW, L"0 байт", SS_LEFT | SS_NOTIFY, 0, kLabel1Id);
    GroupBox1 = CreateControl(handle_, WC_BUTTONW, kGroupBox1Caption, BS_GROUPBOX, 0, -1);
    ComboBox1 = CreateControl(handle_, WC_COMBOBOXW, L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0, kComboBox1Id);
    GroupBox2 = CreateControl(handle_, WC_BUTTONW, kGroupBox2Caption, BS_GROUPBOX, 0, -1);
    ListBox1 = CreateControl(handle_, WC_LISTBOXW, L"", LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP,
                             WS_EX_CLIENTEDGE, kListBox1Id);
    BitBtn1 = CreateControl(handle_, WC_BUTTONW, kBitBtn1Caption, BS_PUSHBUTTON | WS_TABSTOP, 0, kBitBtn1Id);
    BitBtn2 = CreateControl(handle_, WC_BUTTONW, kBitBtn2Caption, BS_PUSHBUTTON | WS_TABSTOP | WS_DISABLED, 0, kBitBtn2Id);

    frame_.AddHint(Label1, L"Размер записанных аудиоданных");

    SaveDialog1.Title = L"Сохранить звукозапись как...";
    SaveDialog1.DefaultExt = L"wav";
    SaveDialog1.Filter = L"*.wav";
}

void TForm1::ApplyDensity(UINT dpi)
{
    dpi_ = static_cast<int>(dpi);
    // The widths the controls give their texts: a caption within its box's margins, a button's inside
    // its edges, a format name beside the list's scroll bar.
    const int captionWidth = Scale(kGroupBox1.width - 16);
    const int buttonWidth = Scale(kBitBtn1.width - 8);
    const int itemWidth = Scale(kListBox1.width) - 2 * SystemMetricForDpi(SM_CXEDGE, dpi) -
                          SystemMetricForDpi(SM_CXVSCROLL, dpi) - Scale(2);
    std::vector<FittedText> texts = {{kGroupBox1Caption, captionWidth}, {kGroupBox2Caption, captionWidth},
                                     {kBitBtn1Caption, buttonWidth}, {kBitBtn2Caption, buttonWidth}};
    for (const TRecordingFormat& row : RecordingFormats)
        texts.push_back({row.Name, itemWidth});
    GdiObject<HFONT> font = MakeFittingFont(8, dpi_, false, Scale(kItemHeight), texts);
    // Label1 takes the width of its text, up to the window's edge.
    const int labelWidth = Scale(kClientWidth - kLabel1Left);
    GdiObject<HFONT> labelFont = MakeFittingFont(10, dpi_, true, Scale(kClientHeight - kLabel1Top),
                                                 {{FormatSize(0), labelWidth}, {FormatSize(kMaxWaveDataBytes), labelWidth}});

    const struct {
        HWND control;
        Geometry box;
    } places[] = {
        {GroupBox1, kGroupBox1},
        {ComboBox1, {kGroupBox1.left + kComboBox1.left, kGroupBox1.top + kComboBox1.top, kComboBox1.width,
                     kDropDownHeight}},
        {GroupBox2, kGroupBox2},
        {ListBox1, {kGroupBox2.left + kListBox1.left, kGroupBox2.top + kListBox1.top, kListBox1.width,
                    kListBox1.height}},
        {BitBtn1, kBitBtn1},
        {BitBtn2, kBitBtn2},
        {Label1, {kLabel1Left, kLabel1Top, 48, 16}}, // then sized to its text
    };
    for (const auto& place : places) {
        const HFONT own = place.control == Label1 ? labelFont.Get() : font.Get();
        SendMessageW(place.control, WM_SETFONT, reinterpret_cast<WPARAM>(own), FALSE);
        SetWindowPos(place.control, nullptr, Scale(place.box.left), Scale(place.box.top), Scale(place.box.width),
                     Scale(place.box.height), SWP_NOZORDER | SWP_NOACTIVATE);
    }
    // After the font, which resets them.
    SendMessageW(ComboBox1, CB_SETITEMHEIGHT, 0, Scale(kItemHeight));
    FitComboBox(ComboBox1, Scale(kComboBox1.height));
    SendMessageW(ListBox1, LB_SETITEMHEIGHT, 0, Scale(kItemHeight));
    // The controls have let go of the old fonts only now.
    font_ = std::move(font);
    labelFont_ = std::move(labelFont);
    FitLabel1();

    // Whatever else is drawn to the density (the level meter) is made again here, after the fonts.
    CreateLevelMeter();

    RedrawWindow(handle_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void TForm1::DensityChanged(UINT dpi, const RECT& suggested)
{
    if (!font_)
        return; // not laid out yet: Create does it at the window's density
    ApplyDensity(dpi);
    SetWindowPos(handle_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm1::CreateLevelMeter()
{
    const RECT bounds{Scale(kLevelMeter1.left), Scale(kLevelMeter1.top),
                      Scale(kLevelMeter1.left) + Scale(kLevelMeter1.width),
                      Scale(kLevelMeter1.top) + Scale(kLevelMeter1.height)};
    LevelMeter1.Create(
        handle_, bounds, kLevelMeter1Id, [this] { return state_ == TRecordingState::Recording; },
        // A plain message: its loop keeps handling the device's notifications, so the recording goes on.
        [this] { Guarded(frame_, [this] { frame_.ShowMessage(kSilenceNotice); }); });
}

void TForm1::ShowLevel(const BYTE* bytes, int32_t count)
{
    // A recording's first bytes begin its first file; a later file's begin where the last one ended.
    const bool first = recording_.Files.size() <= 1 && TotalBytes == count;
    LevelMeter1.Samples(bytes, static_cast<size_t>(count), first, WaveFormat, state_ == TRecordingState::Recording);
}

void TForm1::Show()
{
    // Centred on the screen.
    RECT box{};
    GetWindowRect(handle_, &box);
    const int width = box.right - box.left;
    const int height = box.bottom - box.top;
    SetWindowPos(handle_, nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ShowWindow(handle_, SW_SHOW);
    UpdateWindow(handle_);
}
