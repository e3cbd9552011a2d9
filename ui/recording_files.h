#pragma once
// The files of one recording: the chosen name, then "NAME (2).wav", "NAME (3).wav", ... as the
// recording goes on past the size limit or after its device came back.

#include <string>
#include <vector>

// Numbers tried for the next file before giving up, so that a folder that answers "access denied"
// for every name cannot hold the window's thread for good.
inline constexpr unsigned kMaxFileNumber = 999;

// "folder\stem (N).ext" for the first N from 2 whose file does not exist; an I/O error naming the
// numbers tried when none up to `maxNumber` is free.
std::wstring NextNumberedFileName(const std::wstring& first, unsigned maxNumber = kMaxFileNumber);

// The plain message after a recording that went on into more than one file; empty for one file.
std::wstring RecordingFilesText(const std::vector<std::wstring>& files);
