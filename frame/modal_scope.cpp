#include "frame/modal_scope.h"

ModalScope::ModalScope(HWND boxOwner) : boxOwner_(boxOwner), previous_(GetActiveWindow())
{
    EnumThreadWindows(GetCurrentThreadId(), &ModalScope::Disable, reinterpret_cast<LPARAM>(this));
}

ModalScope::~ModalScope()
{
    for (auto it = disabled_.rbegin(); it != disabled_.rend(); ++it)
        if (IsWindow(*it))
            EnableWindow(*it, TRUE);
    if (previous_ && IsWindow(previous_))
        SetActiveWindow(previous_);
}

BOOL CALLBACK ModalScope::Disable(HWND window, LPARAM self)
{
    // Hidden windows (the tooltip, message-only helpers) are left alone; the box's owner is
    // disabled by the box itself.
    auto* scope = reinterpret_cast<ModalScope*>(self);
    if (IsWindowVisible(window) && IsWindowEnabled(window) && window != scope->boxOwner_) {
        EnableWindow(window, FALSE);
        scope->disabled_.push_back(window);
    }
    return TRUE;
}
