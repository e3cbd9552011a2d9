#pragma once
// The window's fonts: a face of the given size that shows every text of the window whole.

#include <windows.h>

#include <string>
#include <vector>

#include "platform/guards.h"

// A text of the window and the width its control gives it.
struct FittedText {
    std::wstring text;
    int width;
};

// The font of `points` at `dpi`, no taller than `maxHeight`, in the first face that shows `texts`
// whole: "MS Sans Serif", then TrueType sans faces with Cyrillic; "MS Sans Serif" when none does.
GdiObject<HFONT> MakeFittingFont(int points, int dpi, bool bold, int maxHeight, const std::vector<FittedText>& texts);
