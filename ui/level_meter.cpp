#include "ui/level_meter.h"

#include <commctrl.h>

#include <algorithm>
#include <climits>

#include "platform/error.h"
#include "platform/guards.h"

namespace {

constexpr UINT_PTR kTickTimerId = 1;
// A little over 20 draws a second: on Windows a 45 ms timer comes every third tick of the default
// 15.6 ms clock (46.9 ms, 21 a second), as would one of 32 to 46 ms; shorter costs more under Wine.
constexpr UINT kTickMs = 45;
// Posted to the control itself, so the message box opens after the engine's handler is done.
constexpr UINT kSilenceNoticeMessage = WM_APP + 1;
// The bars' scale: 60 dB below full scale up to full scale.
constexpr double kScaleDb = 60;
constexpr COLORREF kFullScaleColour = RGB(255, 0, 0);
constexpr wchar_t kLevelWaitingText[] = L"Уровень: ожидание устройства";

constexpr UINT kHintInitialMs = 500;
constexpr UINT kHintReshowMs = 0;
constexpr UINT kHintAutoPopMs = 2500;

// Whether the strip can be seen: not while it or its window is hidden, nor while that window or
// its owner (the application window, which carries the taskbar button) is minimized. Windows hides
// an owned window whose owner is minimized; Wine leaves it shown.
bool Seen(HWND control)
{
    if (!IsWindowVisible(control))
        return false;
    for (HWND window = GetAncestor(control, GA_ROOT); window; window = GetWindow(window, GW_OWNER))
        if (IsIconic(window))
            return false;
    return true;
}

} // namespace

TLevelMeter::~TLevelMeter()
{
    Destroy();
}

void TLevelMeter::Destroy()
{
    // Destroyed with the window it sits on, the control has cleared handle_ already; the tooltip,
    // owned by that window, has gone too.
    if (tooltip_ && IsWindow(tooltip_))
        DestroyWindow(tooltip_);
    tooltip_ = nullptr;
    if (handle_)
        DestroyWindow(handle_);
    handle_ = nullptr;
}

void TLevelMeter::Create(HWND parent, const RECT& bounds, int id, std::function<bool()> recording,
                         std::function<void()> firstSecondsSilent)
{
    recording_ = std::move(recording);
    firstSecondsSilent_ = std::move(firstSecondsSilent);
    // Made once; at another density it only moves, keeping its window for screen readers and timer.
    if (handle_ && GetParent(handle_) == parent) {
        SetWindowPos(handle_, nullptr, bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        InvalidateRect(handle_, nullptr, FALSE);
        return;
    }
    Destroy();
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    // A static, so screen readers read its text as static text; SS_NOTIFY lets the mouse reach it
    // for the tooltip.
    handle_ = CreateWindowExW(0, WC_STATICW, text_.c_str(), WS_CHILD | WS_VISIBLE | SS_NOTIFY, bounds.left,
                              bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    if (!handle_)
        throw EAppError(L"Cannot create the level meter");
    SetWindowLongPtrW(handle_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    staticProc_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(handle_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TLevelMeter::WindowProc)));

    tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, parent, nullptr, instance,
                               nullptr);
    if (tooltip_) {
        SendMessageW(tooltip_, TTM_SETDELAYTIME, TTDT_INITIAL, MAKELPARAM(kHintInitialMs, 0));
        SendMessageW(tooltip_, TTM_SETDELAYTIME, TTDT_RESHOW, MAKELPARAM(kHintReshowMs, 0));
        SendMessageW(tooltip_, TTM_SETDELAYTIME, TTDT_AUTOPOP, MAKELPARAM(kHintAutoPopMs, 0));
        // A tooltip breaks its text into lines only once it has a width to break at.
        SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, SHRT_MAX);
        TTTOOLINFOW tool{};
        tool.cbSize = TTTOOLINFOW_V2_SIZE; // accepted by every comctl32
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = parent;
        tool.uId = reinterpret_cast<UINT_PTR>(handle_);
        tool.lpszText = tip_.data();
        // A tooltip that cannot be added only costs the tooltip.
        SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void TLevelMeter::Samples(const BYTE* data, size_t count, bool first, const WAVEFORMATEX& format, bool live)
{
    if (first) {
        track_.Reset();
        silence_.Reset();
        recorded_ = 0;
    }
    const uint64_t offset = recorded_;
    recorded_ += count;
    SetTip(L"Записано: " +
               RecordedTimeText(static_cast<int64_t>(recorded_), static_cast<int32_t>(format.nAvgBytesPerSec)),
           roomTip_);
    if (!live || !handle_)
        return;
    if (silence_.Add(data, count, offset, format.wBitsPerSample, static_cast<int32_t>(format.nAvgBytesPerSec)))
        PostMessageW(handle_, kSilenceNoticeMessage, 0, 0);
    track_.Add(data, count, offset, format.nChannels, format.wBitsPerSample, static_cast<int>(format.nSamplesPerSec),
               GetTickCount64());
    // Nothing is drawn, and nothing said, where the strip cannot be seen: its ticks and words
    // would only cost. Seen again, it speaks and ticks from its next paint or buffer.
    if (!Seen(handle_)) {
        StopTicking();
        return;
    }
    // The words change with each buffer, not with each tick: a text change costs a screen reader's
    // attention and the system far more than a bar drawn.
    SetText(LevelText(track_.Latest()));
    // Started again with each buffer, the timer ticks as the buffer's blocks fall due.
    StartTicking();
    Tick();
}

void TLevelMeter::ShowWaiting(bool waiting)
{
    if (waiting == waiting_ || !handle_)
        return;
    waiting_ = waiting;
    Empty();
    InvalidateRect(handle_, nullptr, FALSE); // the empty trough's look changes with it
}

void TLevelMeter::Tick()
{
    if (!recording_ || !recording_()) {
        Empty();
        return;
    }
    if (!Seen(handle_)) {
        StopTicking();
        return;
    }
    ShowBars(track_.Read(GetTickCount64()));
}

void TLevelMeter::StartTicking()
{
    SetTimer(handle_, kTickTimerId, kTickMs, nullptr);
    ticking_ = true;
}

void TLevelMeter::StopTicking()
{
    if (ticking_)
        KillTimer(handle_, kTickTimerId);
    ticking_ = false;
}

void TLevelMeter::Empty()
{
    if (!handle_)
        return;
    StopTicking();
    SetText(waiting_ ? kLevelWaitingText : L"");
    ShowBars(TLevelReading{});
}

void TLevelMeter::SetText(const std::wstring& text)
{
    if (text == text_)
        return;
    text_ = text;
    SetWindowTextW(handle_, text_.c_str());
}

void TLevelMeter::ShowBars(const TLevelReading& reading)
{
    // Drawn again only when a bar changes by a pixel: a steady tone costs no drawing.
    RECT client{};
    GetClientRect(handle_, &client);
    const int inner = std::max<int>(0, client.right - client.left - 2);
    bool changed = reading.Channels != channels_;
    channels_ = reading.Channels;
    for (int c = 0; c < channels_; ++c) {
        const double fraction = std::clamp((reading.Db[c] + kScaleDb) / kScaleDb, 0.0, 1.0);
        const TBarLook look{static_cast<int>(fraction * inner + 0.5), reading.FullScale[c], reading.Silent[c]};
        changed = changed || !(look == bars_[c]);
        bars_[c] = look;
    }
    // At once, not through WM_PAINT: several times a second, the paint cycle costs a few times more.
    if (changed && IsWindowVisible(handle_))
        if (const WindowDc dc(handle_); dc)
            Draw(dc.Get(), client);
}

void TLevelMeter::ShowRoom(const std::wstring& text)
{
    SetTip(recordedTip_, text);
}

void TLevelMeter::SetTip(const std::wstring& recorded, const std::wstring& room)
{
    recordedTip_ = recorded;
    roomTip_ = room;
    const std::wstring text = room.empty() ? recorded : recorded + L"\n" + room;
    if (text == tip_)
        return;
    tip_ = text;
    if (!tooltip_ || !handle_)
        return;
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = GetParent(handle_);
    tool.uId = reinterpret_cast<UINT_PTR>(handle_);
    tool.lpszText = tip_.data();
    SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void TLevelMeter::Paint()
{
    // Shown again after it stopped ticking: the words and bars it shows are those of now.
    if (!ticking_ && channels_ > 0 && recording_ && recording_() && Seen(handle_)) {
        SetText(LevelText(track_.Latest()));
        StartTicking();
        Tick();
    }
    PAINTSTRUCT paint;
    if (!BeginPaint(handle_, &paint))
        return;
    RECT client{};
    GetClientRect(handle_, &client);
    Draw(paint.hdc, client);
    EndPaint(handle_, &paint);
}

void TLevelMeter::Draw(HDC dc, const RECT& client) const
{
    // Every pixel is drawn once, so the bars never flicker without a buffer off screen.
    const HBRUSH face = GetSysColorBrush(COLOR_BTNFACE);
    // Not recording: one empty trough.
    const int rows = std::max(channels_, 1);
    const int height = client.bottom - client.top;
    const int gap = rows > 1 ? std::max(1, height / 8) : 0;
    const int rowHeight = (height - gap * (rows - 1)) / rows;
    for (int c = 0; c < rows; ++c) {
        const LONG top = client.top + c * (rowHeight + gap);
        RECT trough{client.left, top, client.right, c == rows - 1 ? client.bottom : top + rowHeight};
        if (c < rows - 1) {
            const RECT between{client.left, trough.bottom, client.right, trough.bottom + gap};
            FillRect(dc, &between, face);
        }
        DrawEdge(dc, &trough, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
        if (channels_ == 0) {
            // Waiting for the device: cross-hatched, unlike both silence and a stopped recording.
            const GdiObject<HBRUSH> hatch(waiting_ ? CreateHatchBrush(HS_DIAGCROSS, GetSysColor(COLOR_GRAYTEXT))
                                                   : nullptr);
            SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
            FillRect(dc, &trough, hatch ? hatch.Get() : face);
            continue;
        }
        const TBarLook& bar = bars_[c];
        RECT filled = trough;
        filled.right = std::clamp<LONG>(trough.left + bar.width, trough.left, trough.right);
        RECT rest = trough;
        rest.left = filled.right;
        if (bar.fullScale) {
            SetDCBrushColor(dc, kFullScaleColour);
            FillRect(dc, &filled, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
        } else {
            FillRect(dc, &filled, GetSysColorBrush(COLOR_HIGHLIGHT));
        }
        if (bar.silent) {
            // Digital silence is hatched, unlike a quiet signal's short bar on a plain trough.
            const GdiObject<HBRUSH> hatch(CreateHatchBrush(HS_BDIAGONAL, GetSysColor(COLOR_GRAYTEXT)));
            SetBkMode(dc, OPAQUE);
            SetBkColor(dc, GetSysColor(COLOR_WINDOW));
            FillRect(dc, &rest, hatch ? hatch.Get() : GetSysColorBrush(COLOR_WINDOW));
        } else {
            FillRect(dc, &rest, GetSysColorBrush(COLOR_WINDOW));
        }
    }
}

LRESULT CALLBACK TLevelMeter::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* meter = reinterpret_cast<TLevelMeter*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!meter || meter->handle_ != window)
        return DefWindowProcW(window, message, wParam, lParam);
    return meter->HandleMessage(message, wParam, lParam);
}

LRESULT TLevelMeter::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    const HWND window = handle_;
    const WNDPROC staticProc = staticProc_;
    switch (message) {
    case WM_PAINT:
        Paint();
        return 0;
    case WM_ERASEBKGND:
        return 1; // Paint covers every pixel
    case WM_SETTEXT:
        // The text is for screen readers: kept, but not drawn as the static would draw it at once.
        return DefWindowProcW(window, message, wParam, lParam);
    case WM_TIMER:
        if (wParam == kTickTimerId) {
            Tick();
            return 0;
        }
        break;
    case kSilenceNoticeMessage:
        // A copy: the box's own loop may see the control placed again, which replaces the original.
        if (const std::function<void()> notice = firstSecondsSilent_)
            notice();
        return 0;
    case WM_NCDESTROY:
        handle_ = nullptr;
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        break;
    default:
        break;
    }
    return CallWindowProcW(staticProc, window, message, wParam, lParam);
}
