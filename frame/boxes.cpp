#include "frame/boxes.h"

#include "frame/message_dialog.h"

namespace {

class TSystemBoxes final : public IBoxes {
public:
    void Show(TBoxKind kind, HWND owner, const std::wstring& caption, const std::wstring& text) override
    {
        if (kind == TBoxKind::Message)
            ShowMessageDialog(owner, caption, text);
        else
            MessageBoxW(owner, text.c_str(), caption.c_str(), MB_OK | MB_ICONSTOP);
    }
};

} // namespace

IBoxes& SystemBoxes()
{
    static TSystemBoxes boxes;
    return boxes;
}
