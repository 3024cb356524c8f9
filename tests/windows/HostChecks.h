// Small helpers of the Windows test host: checks that count failures, whole-file
// reads and comparisons, and the library under test loaded by path.
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace host {

// Records a failed check and prints it; the host's exit status counts them.
void fail(const std::string& what);
bool check(bool ok, const std::string& what);
int failures();

std::string narrow(const std::wstring& s); // UTF-8, for messages
std::wstring join(const std::wstring& dir, const std::wstring& name);

std::optional<std::vector<std::uint8_t>> readFile(const std::wstring& path);
bool writeFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes);
bool fileExists(const std::wstring& path);
// Names in dir matching pattern (e.g. L"*.tmp").
std::vector<std::wstring> listFiles(const std::wstring& dir, const std::wstring& pattern);
// An empty directory of the given path, made afresh.
bool freshDirectory(const std::wstring& path);

// Requires actual to equal expected byte for byte; on a difference names the
// first differing 16-bit values of the WAV data.
bool sameWav(const std::wstring& expectedPath, const std::wstring& actualPath);

} // namespace host
