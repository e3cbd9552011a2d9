#pragma once
// Names past MAX_PATH. Without the extended-length prefix Windows refuses a full path of MAX_PATH
// characters or more (unless the manifest's longPathAware meets a system whose long-path policy is
// on); with it, any system takes up to about 32767.

#include <string>

// The full path of `name` as the system resolves it (current folder, "." and "..", "/"); empty when
// the system cannot.
std::wstring FullPathName(const std::wstring& name);

// `name` to hand to a file function: unchanged while its full path is short enough for any system,
// else that full path in the extended-length form ("\\?\C:\...", "\\?\UNC\server\share\...").
std::wstring ExtendedLengthPath(const std::wstring& name);
