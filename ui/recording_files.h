#pragma once
// The files of one recording: the chosen name, then "NAME (2).wav", "NAME (3).wav", ... as the
// recording goes on past the size limit or after its device came back.

#include <string>
#include <vector>

// "folder\stem (N).ext" for the first N from 2 whose file does not exist.
std::wstring NextNumberedFileName(const std::wstring& first);

// The plain message after a recording that went on into more than one file; empty for one file.
std::wstring RecordingFilesText(const std::vector<std::wstring>& files);
