// The window's font: the specified face where it shows every text whole, else a face that does.
#include "ui/window_font.h"

namespace {

// The specified face first; then TrueType sans faces with Cyrillic, for where it does not show the
// texts whole: it is a bitmap font without Cyrillic in Western code pages, and under Wine its
// substitute draws wider than it measures at 96 ppi, so the group boxes cut their captions.
constexpr const wchar_t* kFaces[] = {L"MS Sans Serif", L"Microsoft Sans Serif", L"Tahoma", L"Arial",
                                     L"DejaVu Sans Condensed"};

// How far right `text` leaves ink when drawn at 0 in the DC's font, `extent` being its measured size.
int InkRight(HDC dc, const std::wstring& text, const SIZE& extent)
{
    const int margin = extent.cy; // for glyphs that reach past their advance
    const int width = extent.cx + 2 * margin;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -extent.cy; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    const GdiObject<HBITMAP> bitmap(CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap)
        return 0;
    const SelectedObject selected(dc, bitmap.Get());
    const RECT all{0, 0, width, extent.cy};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkMode(dc, TRANSPARENT);
    TextOutW(dc, margin, 0, text.c_str(), static_cast<int>(text.size()));
    GdiFlush();
    int right = 0;
    const auto* pixels = static_cast<const DWORD*>(bits);
    for (int y = 0; y < extent.cy; ++y)
        for (int x = width - 1; x >= margin + right; --x)
            if ((pixels[y * width + x] & 0xFFFFFF) != 0xFFFFFF) {
                right = x + 1 - margin;
                break;
            }
    return right;
}

// Whether `font` shows `texts` whole: it has Cyrillic, its lines are at most `maxHeight` high, and
// each text fits its width and leaves no ink more than a pixel past its measured width (controls
// such as the group box cut a caption there).
bool DrawsWhole(HFONT font, int maxHeight, const std::vector<FittedText>& texts)
{
    const MemoryDc memory(CreateCompatibleDC(nullptr));
    if (!memory)
        return true; // nothing to tell by: keep the font
    const HDC dc = memory.Get();
    const SelectedObject selected(dc, font);
    FONTSIGNATURE signature{};
    const int charset = GetTextCharsetInfo(dc, &signature, 0);
    TEXTMETRICW metrics{};
    bool whole = (charset == RUSSIAN_CHARSET || (signature.fsCsb[0] & FS_CYRILLIC) != 0) &&
                 GetTextMetricsW(dc, &metrics) && metrics.tmHeight <= maxHeight;
    for (const FittedText& fitted : texts) {
        SIZE extent{};
        if (!whole || !GetTextExtentPoint32W(dc, fitted.text.c_str(), static_cast<int>(fitted.text.size()), &extent))
            break;
        whole = extent.cx <= fitted.width && InkRight(dc, fitted.text, extent) <= extent.cx + 1;
    }
    return whole;
}

} // namespace

GdiObject<HFONT> MakeFittingFont(int points, int dpi, bool bold, int maxHeight, const std::vector<FittedText>& texts)
{
    const auto create = [&](const wchar_t* face) {
        return CreateFontW(-MulDiv(points, dpi, 72), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                           DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                           DEFAULT_PITCH | FF_DONTCARE, face);
    };
    for (const wchar_t* face : kFaces) {
        GdiObject<HFONT> font(create(face));
        if (font && DrawsWhole(font.Get(), maxHeight, texts))
            return font;
    }
    return GdiObject<HFONT>(create(kFaces[0]));
}
