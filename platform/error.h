#pragma once
// Errors that unwind a handler to the application frame, which shows their text.

#include <exception>
#include <string>

class EAppError : public std::exception {
public:
    explicit EAppError(std::wstring message) : message_(std::move(message)) {}
    const std::wstring& Message() const noexcept { return message_; }
    const char* what() const noexcept override { return "application error"; }

private:
    std::wstring message_;
};

// A failed file operation: the system's error code or one of the file layer's own (101, 103).
class EInOutError : public EAppError {
public:
    explicit EInOutError(int code);
    // A failure the table's text would not explain.
    EInOutError(int code, std::wstring text) : EAppError(std::move(text)), code_(code) {}
    int Code() const noexcept { return code_; }

private:
    int code_;
};

// "File not found", "Disk full", ..., or "I/O error %d" for codes without a text of their own.
std::wstring IoErrorText(int code);

inline constexpr int kIoDiskFull = 101;
inline constexpr int kIoFileNotOpen = 103;
