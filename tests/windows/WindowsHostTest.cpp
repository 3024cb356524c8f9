// windows_host_test CASE DLL [ARGS]: a foreign Windows host of MavrelWAVChorus.DLL.
// It loads the DLL with LoadLibraryW as any application would and checks one
// case; the exit status is the number of failed checks (0: passed).
//
//   registry DLL             attach registers the module, detach deregisters it
//   refusal DLL              a refusing framework makes the load fail
//   allocation DLL           a failed allocation loads without the library record
//   version DLL              the version resource
//   typelib DLL              the type library resource
//   chorus DLL REF WORK NAME REF\inputs\NAME.wav gives REF\expected\NAME.wav
//   nonascii DLL REF WORK NAME  the same through paths with non-ASCII names
//   widepath DLL REF WORK    paths beyond the ANSI code page and MAX_PATH
//   files DLL REF WORK       missing and unwritable files, replacing, in place
//   terminated DLL WORK      a process terminated while it writes leaves no file
//   run DLL IN OUT           one call (the process that "terminated" ends)
#include "HostChecks.h"
#include "MavrelFramework.h"
#include "MavrelWAVChorus.h"

#include <oleauto.h>
#include <winver.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

using host::check;
using host::join;
using host::narrow;

namespace {

// The header's pointer type carries WAVChorus's calling convention.
using WAVChorusFn = WAVChorusFunction;

// The library under test, loaded for the length of a scope.
class Loaded {
  public:
    explicit Loaded(const std::wstring& path) : module_(::LoadLibraryW(path.c_str())) {
        error_ = module_ == nullptr ? ::GetLastError() : 0;
    }
    Loaded(const Loaded&) = delete;
    Loaded& operator=(const Loaded&) = delete;
    ~Loaded() { unload(); }

    HMODULE module() const { return module_; }
    DWORD error() const { return error_; }

    bool unload() {
        if (module_ == nullptr) {
            return true;
        }
        const bool freed = ::FreeLibrary(module_) != 0;
        module_ = nullptr;
        return freed;
    }

    WAVChorusFn chorus() const {
        // GetProcAddress gives a generic function pointer; WAVChorus has this type.
        return reinterpret_cast<WAVChorusFn>(
            reinterpret_cast<void (*)()>(::GetProcAddress(module_, "WAVChorus")));
    }

  private:
    HMODULE module_;
    DWORD error_;
};

std::vector<MavrelFrameworkModuleInfo> registeredModules() {
    std::vector<MavrelFrameworkModuleInfo> modules(MavrelFrameworkListModules(nullptr, 0));
    modules.resize(MavrelFrameworkListModules(modules.data(), modules.size()));
    return modules;
}

bool stillLoaded(const std::wstring& dll) {
    return ::GetModuleHandleW(dll.c_str()) != nullptr;
}

// --- Module attach and detach -------------------------------------------------

void registryCase(const std::wstring& dll) {
    check(registeredModules().empty(), "a module is registered before the load");
    for (int round = 0; round < 2; ++round) {
        Loaded library(dll);
        if (!check(library.module() != nullptr,
                   "LoadLibraryW failed with error " + std::to_string(library.error()))) {
            return;
        }
        const auto modules = registeredModules();
        if (check(modules.size() == 1, "after the load the registry lists " +
                                           std::to_string(modules.size()) + " modules, not 1")) {
            check(modules[0].instance == library.module(),
                  "the module registered with another instance handle than its HMODULE");
            check(modules[0].libraryRecords == 1, "the module has no per-library record");
        }
        check(library.chorus() != nullptr, "GetProcAddress finds no WAVChorus");
        check(library.unload(), "FreeLibrary failed");
        check(!stillLoaded(dll), "FreeLibrary left the DLL loaded");
        check(registeredModules().empty(), "the registry still lists the module after the unload");
    }
}

void refusalCase(const std::wstring& dll) {
    const std::pair<std::uint32_t, const char*> refusals[] = {
        {MAVREL_FRAMEWORK_FAULT_REFUSE_INIT, "the initialisation"},
        {MAVREL_FRAMEWORK_FAULT_PRE_ATTACH, "the pre-attach hook"},
    };
    for (const auto& [fault, what] : refusals) {
        MavrelFrameworkSetTestFaults(fault);
        Loaded library(dll);
        MavrelFrameworkSetTestFaults(0);
        const std::string when = std::string(" when ") + what + " refuses";
        check(library.module() == nullptr, "LoadLibraryW succeeded" + when);
        check(library.error() == ERROR_DLL_INIT_FAILED, "LoadLibraryW failed with error " +
                                                            std::to_string(library.error()) +
                                                            ", not ERROR_DLL_INIT_FAILED," + when);
        check(!stillLoaded(dll), "the DLL stayed loaded" + when);
        check(registeredModules().empty(), "the registry lists the module" + when);
    }
    Loaded library(dll);
    check(library.module() != nullptr, "the DLL does not load once the framework accepts it");
    check(registeredModules().size() == 1, "the accepted module is not registered");
}

void allocationCase(const std::wstring& dll) {
    MavrelFrameworkSetTestFaults(MAVREL_FRAMEWORK_FAULT_ALLOCATION);
    Loaded library(dll);
    MavrelFrameworkSetTestFaults(0);
    if (!check(library.module() != nullptr, "a failed allocation made LoadLibraryW fail (error " +
                                                std::to_string(library.error()) + ")")) {
        return;
    }
    const auto modules = registeredModules();
    if (check(modules.size() == 1, "the module is not registered")) {
        check(modules[0].libraryRecords == 0, "a library record exists without its storage");
    }
    check(library.unload() && registeredModules().empty(), "the unload did not deregister");
}

// --- Resources ----------------------------------------------------------------

void versionCase(const std::wstring& dll) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(dll.c_str(), &ignored);
    if (!check(size != 0, "GetFileVersionInfoSizeW finds no version resource")) {
        return;
    }
    std::vector<std::uint8_t> block(size);
    if (!check(::GetFileVersionInfoW(dll.c_str(), 0, size, block.data()) != 0,
               "GetFileVersionInfoW failed")) {
        return;
    }
    void* value = nullptr;
    UINT length = 0;
    if (check(::VerQueryValueW(block.data(), L"\\", &value, &length) &&
                  length >= sizeof(VS_FIXEDFILEINFO),
              "no fixed file information")) {
        const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
        check(fixed->dwSignature == 0xFEEF04BDU, "bad signature of the fixed file information");
        check(fixed->dwFileVersionMS == 0x00010000U && fixed->dwFileVersionLS == 0x00000001U,
              "the file version is not 1.0.0.1");
        check(fixed->dwProductVersionMS == 0x00010000U && fixed->dwProductVersionLS == 0x00000001U,
              "the product version is not 1.0.0.1");
        check(fixed->dwFileType == VFT_DLL, "the file type is not VFT_DLL");
    }
    if (check(::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &length) &&
                  length == 4,
              "the translation table does not hold exactly one entry")) {
        const auto* words = static_cast<const WORD*>(value);
        check(words[0] == 0x0409 && words[1] == 1200,
              "the translation is not US English, code page 1200");
    }
    const std::pair<const wchar_t*, const wchar_t*> strings[] = {
        {L"CompanyName", L""},
        {L"FileDescription", L"MavrelWAVChorus DLL"},
        {L"FileVersion", L"1, 0, 0, 1"},
        {L"InternalName", L"MavrelWAVChorus"},
        {L"LegalTrademarks", L""},
        {L"OriginalFilename", L"MavrelWAVChorus.DLL"},
        {L"ProductName", L"MavrelWAVChorus Dynamic Link Library"},
        {L"ProductVersion", L"1, 0, 0, 1"},
    };
    for (const auto& [key, expected] : strings) {
        const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + key;
        value = nullptr;
        length = 0;
        if (!check(::VerQueryValueW(block.data(), query.c_str(), &value, &length) != 0,
                   "no " + narrow(key) + " in the string table 040904B0")) {
            continue;
        }
        // length counts characters; an empty value may come back with length 0.
        const std::wstring got =
            length == 0 ? std::wstring() : std::wstring(static_cast<const wchar_t*>(value));
        check(got == expected,
              narrow(key) + " is \"" + narrow(got) + "\", not \"" + narrow(expected) + "\"");
    }
}

void typelibCase(const std::wstring& dll) {
    // The resource itself: type TYPELIB, id 1.
    HMODULE data = ::LoadLibraryExW(dll.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (check(data != nullptr, "the DLL cannot be opened as a data file")) {
        check(::FindResourceW(data, MAKEINTRESOURCEW(1), L"TYPELIB") != nullptr,
              "no TYPELIB resource with id 1");
        ::FreeLibrary(data);
    }

    ITypeLib* library = nullptr;
    const HRESULT loaded = ::LoadTypeLibEx(dll.c_str(), REGKIND_NONE, &library);
    if (!check(SUCCEEDED(loaded) && library != nullptr,
               "LoadTypeLibEx failed with HRESULT " + std::to_string(loaded))) {
        return;
    }
    BSTR name = nullptr;
    if (check(SUCCEEDED(library->GetDocumentation(-1, &name, nullptr, nullptr, nullptr)),
              "the type library has no name")) {
        check(name != nullptr && std::wstring(name) == L"MavrelWAVChorus",
              "the type library is named \"" + narrow(name != nullptr ? name : L"") + "\"");
        ::SysFreeString(name);
    }
    check(library->GetTypeInfoCount() == 0, "the type library describes types");
    TLIBATTR* attributes = nullptr;
    if (check(SUCCEEDED(library->GetLibAttr(&attributes)), "GetLibAttr failed")) {
        // {89322434-BFB7-4895-8526-2F251AC3CBF3}
        const GUID expected = {
            0x89322434, 0xbfb7, 0x4895, {0x85, 0x26, 0x2f, 0x25, 0x1a, 0xc3, 0xcb, 0xf3}};
        check(IsEqualGUID(attributes->guid, expected), "the library identifier is not ours");
        check(attributes->wMajorVerNum == 1 && attributes->wMinorVerNum == 0,
              "the type library's version is not 1.0");
        library->ReleaseTLibAttr(attributes);
    }
    library->Release();
}

// --- The chorus through the DLL -----------------------------------------------

struct ChorusPaths {
    std::wstring input;
    std::wstring expected;
};

ChorusPaths referencePaths(const std::wstring& ref, const std::wstring& name) {
    return {join(join(ref, L"inputs"), name + L".wav"),
            join(join(ref, L"expected"), name + L".wav")};
}

void chorusCase(const std::wstring& dll, const std::wstring& ref, const std::wstring& work,
                const std::wstring& name) {
    Loaded library(dll);
    WAVChorusFn chorus = library.chorus();
    if (!check(chorus != nullptr, "cannot load WAVChorus from the DLL")) {
        return;
    }
    const ChorusPaths paths = referencePaths(ref, name);
    const std::wstring output = join(work, name + L".wav");
    ::DeleteFileW(output.c_str());
    const std::int32_t result = chorus(paths.input.c_str(), output.c_str());
    if (check(result == 999, "WAVChorus returned " + std::to_string(result))) {
        host::sameWav(paths.expected, output);
    }
}

// Whether the ANSI code page holds the name exactly.
bool ansiHolds(const std::wstring& name) {
    BOOL usedDefault = FALSE;
    char buffer[512];
    const int n = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name.c_str(), -1, buffer,
                                        sizeof buffer, nullptr, &usedDefault);
    return n > 0 && !usedDefault;
}

void nonAsciiCase(const std::wstring& dll, const std::wstring& ref, const std::wstring& work,
                  const std::wstring& name) {
    const std::wstring inName = L"ch\u00F6rus-\u00E9t\u00E9 \u00F1.wav";
    const std::wstring outName = L"Ausgabe-\u00E4\u00DF\u00C5.wav";
    if (!check(ansiHolds(inName) && ansiHolds(outName),
               "the ANSI code page " + std::to_string(::GetACP()) +
                   " cannot represent the test's names; run with an ANSI code page of "
                   "Western Europe (1252)")) {
        return;
    }
    const ChorusPaths paths = referencePaths(ref, name);
    const std::wstring input = join(work, inName);
    const std::wstring output = join(work, outName);
    if (!check(host::freshDirectory(work), "cannot make the directory " + narrow(work)) ||
        !check(::CopyFileW(paths.input.c_str(), input.c_str(), FALSE) != 0,
               "cannot copy the input to " + narrow(input) + ": error " +
                   std::to_string(::GetLastError()))) {
        return;
    }
    Loaded library(dll);
    WAVChorusFn chorus = library.chorus();
    if (!check(chorus != nullptr, "cannot load WAVChorus from the DLL")) {
        return;
    }
    const std::int32_t result = chorus(input.c_str(), output.c_str());
    if (check(result == 999, "WAVChorus returned " + std::to_string(result) + " for " +
                                 narrow(input) + " -> " + narrow(output))) {
        host::sameWav(paths.expected, output);
    }
}

// Paths the ANSI code page cannot represent, and paths longer than MAX_PATH,
// open exactly the files they name; only an unpaired surrogate is refused.
void widePathCase(const std::wstring& dll, const std::wstring& ref, const std::wstring& work) {
    Loaded library(dll);
    WAVChorusFn chorus = library.chorus();
    const ChorusPaths paths = referencePaths(ref, L"odd-end-22050-stereo");
    const std::wstring folder = join(work, L"\u65E5\u672C\u8A9E \u306E \U0001F3B8");
    if (!check(chorus != nullptr && host::freshDirectory(work) &&
                   ::CreateDirectoryW(folder.c_str(), nullptr) != 0,
               "cannot set up the case")) {
        return;
    }
    // One name with no form in the code page at all, and one whose letter a
    // conversion would replace by a look-alike: "a" + a-macron would open aa.wav.
    const std::wstring decoy = join(folder, L"aa.wav");
    const std::vector<std::uint8_t> decoyBytes{'d', 'e', 'c', 'o', 'y'};
    check(host::writeFile(decoy, decoyBytes), "cannot write the decoy");
    for (const std::wstring& name :
         {std::wstring(L"\u4E2D\u6587.wav"), std::wstring(L"a\u0101.wav")}) {
        const std::wstring out = join(folder, name);
        const std::int32_t result = chorus(paths.input.c_str(), out.c_str());
        if (check(result == 999, "output " + narrow(out) + ": WAVChorus returned " +
                                     std::to_string(result))) {
            host::sameWav(paths.expected, out);
        }
        const std::wstring again = join(folder, L"again-" + name);
        const std::int32_t asInput = chorus(out.c_str(), again.c_str());
        check(asInput == 999,
              "input " + narrow(out) + ": WAVChorus returned " + std::to_string(asInput));
    }
    check(host::readFile(decoy) == decoyBytes, "the decoy aa.wav was written");

    // Over MAX_PATH: absolute, and relative to the current directory.
    std::wstring deep = folder;
    for (int level = 0; level < 3; ++level) {
        deep = join(deep, std::wstring(90, static_cast<wchar_t>(L'a' + level)));
        check(::CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr) != 0,
              "cannot make a directory of " + std::to_string(deep.size()) + " characters");
    }
    const std::wstring longOut = join(deep, L"out.wav");
    const std::int32_t longResult = chorus(paths.input.c_str(), longOut.c_str());
    if (check(longResult == 999, "a path of " + std::to_string(longOut.size()) +
                                     " characters: WAVChorus returned " +
                                     std::to_string(longResult))) {
        const std::int32_t replaced = chorus(longOut.c_str(), longOut.c_str());
        check(replaced == 999, "the long path in place: WAVChorus returned " +
                                   std::to_string(replaced));
    }
    if (check(::SetCurrentDirectoryW(folder.c_str()) != 0, "cannot enter the folder")) {
        const std::wstring relative = deep.substr(folder.size() + 1) + L"\\relative.wav";
        const std::int32_t result = chorus(paths.input.c_str(), relative.c_str());
        if (check(result == 999, "a relative long path: WAVChorus returned " +
                                     std::to_string(result))) {
            host::sameWav(paths.expected, (L"\\\\?\\" + join(deep, L"relative.wav")));
        }
        (void)::SetCurrentDirectoryW(work.c_str());
    }

    const wchar_t unpaired[] = {L'a', 0xD800, L'.', L'w', L'a', L'v', 0};
    const std::wstring lone = join(folder, unpaired);
    check(chorus(paths.input.c_str(), lone.c_str()) == WAVCHORUS_ERR_BAD_PATH,
          "an output with an unpaired surrogate is not refused with -2");
    check(chorus(lone.c_str(), join(folder, L"x.wav").c_str()) == WAVCHORUS_ERR_BAD_PATH,
          "an input with an unpaired surrogate is not refused with -2");
    const auto left = host::listFiles(folder, L"*.tmp");
    check(left.empty(), "the calls left " + std::to_string(left.size()) + " temporary files");
}

// --- File handling ------------------------------------------------------------

void filesCase(const std::wstring& dll, const std::wstring& ref, const std::wstring& work) {
    Loaded library(dll);
    WAVChorusFn chorus = library.chorus();
    if (!check(chorus != nullptr && host::freshDirectory(work), "cannot set up the case")) {
        return;
    }
    const ChorusPaths paths = referencePaths(ref, L"odd-end-22050-stereo");
    const std::wstring output = join(work, L"out.wav");
    const auto call = [&](const std::wstring& in, const std::wstring& out) {
        return chorus(in.c_str(), out.c_str());
    };

    check(call(join(work, L"missing.wav"), output) == WAVCHORUS_ERR_OPEN_INPUT,
          "a missing input is not WAVCHORUS_ERR_OPEN_INPUT");
    check(call(work, output) == WAVCHORUS_ERR_INPUT_NOT_FILE,
          "a directory as input is not WAVCHORUS_ERR_INPUT_NOT_FILE");
    check(call(paths.input, join(join(work, L"no-such-dir"), L"out.wav")) ==
              WAVCHORUS_ERR_CREATE_OUTPUT,
          "an output in a missing directory is not WAVCHORUS_ERR_CREATE_OUTPUT");
    check(!host::fileExists(output), "a failed call left an output");

    // A read-only output survives a failed call unchanged.
    const std::wstring readOnly = join(work, L"read-only.wav");
    const std::vector<std::uint8_t> kept{'k', 'e', 'p', 't'};
    check(host::writeFile(readOnly, kept) &&
              ::SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY),
          "cannot make the read-only output");
    check(call(paths.input, readOnly) == WAVCHORUS_ERR_CREATE_OUTPUT,
          "a read-only output is not WAVCHORUS_ERR_CREATE_OUTPUT");
    check(host::readFile(readOnly) == kept, "the read-only output was changed");
    ::SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);

    // An existing output is replaced whole.
    check(host::writeFile(output, std::vector<std::uint8_t>(300000, 0x5A)),
          "cannot write the old output");
    if (check(call(paths.input, output) == 999, "replacing an existing output failed")) {
        host::sameWav(paths.expected, output);
    }

    // In place: the output names the input.
    const std::wstring inPlace = join(work, L"in-place.wav");
    if (check(::CopyFileW(paths.input.c_str(), inPlace.c_str(), FALSE) != 0,
              "cannot copy the input") &&
        check(call(inPlace, inPlace) == 999, "processing a file in place failed")) {
        host::sameWav(paths.expected, inPlace);
    }

    // A device is written directly.
    check(call(paths.input, L"NUL") == 999, "writing to NUL failed");

    // A named pipe is read to its end, as the file would be.
    const std::wstring pipeName =
        L"\\\\.\\pipe\\mavrel-wavchorus-" + std::to_wstring(::GetCurrentProcessId());
    HANDLE server = ::CreateNamedPipeW(pipeName.c_str(), PIPE_ACCESS_OUTBOUND,
                                       PIPE_TYPE_BYTE | PIPE_WAIT, 1, 65536, 65536, 0, nullptr);
    const auto bytes = host::readFile(paths.input);
    if (check(server != INVALID_HANDLE_VALUE && bytes, "cannot make a named pipe")) {
        std::thread writer([server, &bytes] {
            // Connected already when the library opened the pipe first.
            (void)::ConnectNamedPipe(server, nullptr);
            for (std::size_t done = 0; done < bytes->size();) {
                DWORD put = 0;
                const auto n =
                    static_cast<DWORD>(std::min<std::size_t>(4099, bytes->size() - done));
                if (!::WriteFile(server, bytes->data() + done, n, &put, nullptr)) {
                    break;
                }
                done += put;
            }
            ::CloseHandle(server);
        });
        const std::wstring fromPipe = join(work, L"from-pipe.wav");
        const std::int32_t result = call(pipeName, fromPipe);
        if (result != 999) {
            // The library never connected: a connection of our own ends the wait.
            ::CloseHandle(::CreateFileW(pipeName.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                        0, nullptr));
        }
        writer.join();
        if (check(result == 999,
                  "reading a named pipe: WAVChorus returned " + std::to_string(result))) {
            host::sameWav(paths.expected, fromPipe);
        }
    }

    const auto temporaries = host::listFiles(work, L"*.tmp");
    check(temporaries.empty(), std::to_string(temporaries.size()) + " temporary files left behind");
}

// --- A process terminated while it writes ---------------------------------------

// One call, in a process of its own, for the case below to terminate.
void runCase(const std::wstring& dll, const std::wstring& in, const std::wstring& out) {
    Loaded library(dll);
    WAVChorusFn chorus = library.chorus();
    if (check(chorus != nullptr, "cannot load the library")) {
        check(chorus(in.c_str(), out.c_str()) == 999, "the call failed");
    }
}

// The temporary output is marked for deletion while it is written, so the system
// removes it when the process ends, however it ends. A second process runs a call
// on a large file; once its temporary file is there, it is terminated.
void terminatedCase(const std::wstring& dll, const std::wstring& work) {
    if (!check(host::freshDirectory(work), "cannot set up the case")) {
        return;
    }
    // Mono, 100 M values: a call that takes long enough to be caught writing.
    constexpr std::uint32_t kDataBytes = 200U * 1000U * 1000U;
    std::vector<std::uint8_t> file(44 + std::size_t{kDataBytes});
    const auto put = [&](std::size_t at, std::uint32_t v, int n) {
        for (int k = 0; k < n; ++k) {
            file[at + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(v >> (8 * k));
        }
    };
    std::memcpy(&file[0], "RIFF", 4);
    put(4, kDataBytes + 36, 4);
    std::memcpy(&file[8], "WAVEfmt ", 8);
    put(16, 16, 4);
    put(20, 1, 2);
    put(22, 1, 2);
    put(24, 44100, 4);
    put(28, 88200, 4);
    put(32, 2, 2);
    put(34, 16, 2);
    std::memcpy(&file[36], "data", 4);
    put(40, kDataBytes, 4);
    for (std::size_t k = 44; k < file.size(); ++k) {
        file[k] = static_cast<std::uint8_t>(k * 7919U >> 3U);
    }
    const std::wstring in = join(work, L"big.wav");
    const std::wstring out = join(work, L"out.wav");
    const std::vector<std::uint8_t> earlier{'e', 'a', 'r', 'l', 'i', 'e', 'r'};
    if (!check(host::writeFile(in, file) && host::writeFile(out, earlier),
               "cannot write the input")) {
        return;
    }
    file.clear();

    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command =
        L"\"" + std::wstring(self) + L"\" run \"" + dll + L"\" \"" + in + L"\" \"" + out + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    if (!check(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                nullptr, &startup, &child) != 0,
               "cannot start the second process")) {
        return;
    }
    constexpr UINT kTerminated = 77;
    bool seen = false;
    // Waits for the temporary file (a bounded wait, not a measurement).
    for (int poll = 0; poll < 100000 && !seen; ++poll) {
        seen = !host::listFiles(work, L"*.tmp").empty();
        if (!seen && ::WaitForSingleObject(child.hProcess, 0) == WAIT_OBJECT_0) {
            break;
        }
        if (!seen) {
            ::Sleep(0);
        }
    }
    if (seen) {
        ::TerminateProcess(child.hProcess, kTerminated);
    }
    ::WaitForSingleObject(child.hProcess, INFINITE);
    DWORD status = 0;
    ::GetExitCodeProcess(child.hProcess, &status);
    ::CloseHandle(child.hThread);
    ::CloseHandle(child.hProcess);
    if (check(seen && status == kTerminated, "the call ended (status " + std::to_string(status) +
                                                 ") before its temporary file could be seen")) {
        const auto left = host::listFiles(work, L"*.tmp");
        check(left.empty(),
              "the terminated process left " + std::to_string(left.size()) + " temporary files");
        check(host::readFile(out) == earlier, "the earlier output was changed");
    }
    ::DeleteFileW(in.c_str());
    ::DeleteFileW(out.c_str());
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: windows_host_test CASE DLL [ARGS]\n");
        return 2;
    }
    const std::wstring which = argv[1];
    const std::wstring dll = argv[2];
    std::vector<std::wstring> args(argv + 3, argv + argc);
    const std::map<std::wstring, std::pair<std::size_t, std::function<void()>>> cases = {
        {L"registry", {0, [&] { registryCase(dll); }}},
        {L"refusal", {0, [&] { refusalCase(dll); }}},
        {L"allocation", {0, [&] { allocationCase(dll); }}},
        {L"version", {0, [&] { versionCase(dll); }}},
        {L"typelib", {0, [&] { typelibCase(dll); }}},
        {L"chorus", {3, [&] { chorusCase(dll, args[0], args[1], args[2]); }}},
        {L"nonascii", {3, [&] { nonAsciiCase(dll, args[0], args[1], args[2]); }}},
        {L"widepath", {2, [&] { widePathCase(dll, args[0], args[1]); }}},
        {L"files", {2, [&] { filesCase(dll, args[0], args[1]); }}},
        {L"terminated", {1, [&] { terminatedCase(dll, args[0]); }}},
        {L"run", {2, [&] { runCase(dll, args[0], args[1]); }}},
    };
    const auto found = cases.find(which);
    if (found == cases.end() || found->second.first != args.size()) {
        std::fprintf(stderr, "windows_host_test: unknown case or wrong arguments: %s\n",
                     narrow(which).c_str());
        return 2;
    }
    found->second.second();
    std::printf("%s: %s, %d failed checks\n", narrow(which).c_str(),
                host::failures() == 0 ? "passed" : "FAILED", host::failures());
    return host::failures() == 0 ? 0 : 1;
}
