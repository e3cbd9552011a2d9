#pragma once
// The error report: errors that escape a handler, shown one box at a time. A box runs its own
// message loop, so device notifications handled meanwhile can fail again; their errors wait, merged,
// until the box has closed, instead of stacking a box per failure.

#include <functional>
#include <string>
#include <vector>

// An error text as the report shows it: "." appended when the last character sorts after ".".
std::wstring WithFullStop(const std::wstring& text);

// The text of the exception being handled (call from a catch block): an EAppError's message, a
// standard exception's what(), or "Unknown error".
std::wstring CurrentExceptionText();

class TErrorReport {
public:
    // `showBox` shows one box and returns once it has been closed.
    explicit TErrorReport(std::function<void(const std::wstring& text)> showBox) : showBox_(std::move(showBox)) {}

    void Show(const std::wstring& text);

private:
    std::function<void(const std::wstring& text)> showBox_;
    bool reporting_ = false;
    struct PendingError {
        std::wstring text;
        int count;
    };
    std::vector<PendingError> pending_;
    int overflow_ = 0; // errors that came when pending_ was full
};
