#include "frame/error_report.h"

#include <windows.h>

#include <exception>

#include "platform/error.h"
#include "platform/guards.h"

namespace {

constexpr wchar_t kUnknownErrorText[] = L"Unknown error";
// Errors that pile up behind an open report are kept up to this many distinct texts; the rest are
// only counted, so a device failing on every notification cannot eat the memory.
constexpr size_t kMaxPendingErrors = 16;

std::wstring Widen(const char* text)
{
    if (!text || !*text)
        return std::wstring();
    // what() texts are mostly ASCII; take UTF-8 when it is valid, the ANSI code page otherwise.
    UINT codePage = CP_UTF8;
    int length = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    if (length == 0) {
        codePage = CP_ACP;
        length = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
    }
    if (length <= 1)
        return std::wstring();
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, text, -1, wide.data(), length);
    wide.resize(static_cast<size_t>(length - 1));
    return wide;
}

std::wstring RepeatedText(const std::wstring& text, int count)
{
    std::wstring shown = WithFullStop(text);
    if (count > 1)
        shown += L" (" + std::to_wstring(count) + L" times)";
    return shown;
}

} // namespace

std::wstring WithFullStop(const std::wstring& text)
{
    if (!text.empty() && text.back() > L'.')
        return text + L'.';
    return text;
}

std::wstring CurrentExceptionText()
{
    if (!std::current_exception())
        return kUnknownErrorText;
    try {
        throw;
    } catch (const EAppError& error) {
        return error.Message();
    } catch (const std::exception& error) {
        std::wstring text = Widen(error.what());
        return text.empty() ? std::wstring(kUnknownErrorText) : text;
    } catch (...) {
        return kUnknownErrorText;
    }
}

void TErrorReport::Show(const std::wstring& text)
{
    if (reporting_) {
        if (!pending_.empty() && pending_.back().text == text)
            ++pending_.back().count;
        else if (pending_.size() < kMaxPendingErrors)
            pending_.push_back({text, 1});
        else
            ++overflow_;
        return;
    }

    reporting_ = true;
    const ScopeExit done([this] { reporting_ = false; });
    showBox_(WithFullStop(text));
    while (!pending_.empty() || overflow_ > 0) {
        if (!pending_.empty()) {
            const PendingError next = pending_.front();
            pending_.erase(pending_.begin());
            showBox_(RepeatedText(next.text, next.count));
        } else {
            const int count = overflow_;
            overflow_ = 0;
            showBox_(std::to_wstring(count) + (count == 1 ? L" further error was" : L" further errors were") +
                     L" not shown.");
        }
    }
}
