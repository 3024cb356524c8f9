// Windows has no /dev/fd: standard input is spooled into a temporary file that
// the library then reads, and the library's output into one that is then copied
// to standard output. Windows has no FIFOs in its file system either.
#include "Streams.h"

#include "Console.h"
#include "HeaderCheck.h"
#include "PathConversion.h"
#include "SystemError.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <vector>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace wavchorus_cli {

constexpr std::size_t kChunk = std::size_t{64} * 1024;

std::optional<CliPath> temporaryFile(std::string& error) {
    wchar_t dir[MAX_PATH + 1];
    wchar_t name[MAX_PATH + 1];
    const DWORD n = ::GetTempPathW(MAX_PATH + 1, dir);
    if (n == 0 || n > MAX_PATH || ::GetTempFileNameW(dir, L"wch", 0, name) == 0) {
        error = mavrel::systemErrorText(static_cast<int>(::GetLastError()));
        return std::nullopt;
    }
    const std::optional<std::string> utf8 = mavrel::utf16ToUtf8(std::wstring_view(name));
    std::optional<CliPath> path = utf8 ? cliPath(*utf8) : std::nullopt;
    if (!path) {
        ::DeleteFileW(name);
        error = "the temporary directory's name is not valid UTF-16";
    }
    return path;
}

void removeFile(const CliPath& path) {
    if (!path.native.empty()) {
        (void)::DeleteFileW(path.native.c_str());
    }
}

struct InputStream::Pump {
    std::vector<std::uint8_t> header; // the first 44 bytes, or all there were
};
struct OutputStream::Pump {};

InputStream::InputStream() = default;

InputStream::~InputStream() {
    std::string ignored;
    (void)finish(ignored);
}

bool InputStream::open(const CliPath* fifo, WarningSink warn, std::string& error) {
    if (fifo != nullptr) {
        error = "not a file";
        return false;
    }
    std::optional<CliPath> spool = temporaryFile(error);
    if (!spool) {
        return false;
    }
    path_ = std::move(*spool);
    pump_ = std::make_unique<Pump>();
    const int file = ::_wopen(path_.native.c_str(), _O_WRONLY | _O_BINARY | _O_TRUNC);
    if (file < 0) {
        error = console::lastErrorText();
        return false;
    }
    (void)::_setmode(0, _O_BINARY);
    std::vector<char> buffer(kChunk);
    std::uint64_t total = 0;
    bool ok = true;
    for (;;) {
        const std::ptrdiff_t got = console::readSome(0, buffer.data(), buffer.size());
        if (got < 0) {
            error = console::lastErrorText();
            ok = false;
            break;
        }
        if (got == 0) {
            break;
        }
        const std::size_t take =
            std::min<std::size_t>(static_cast<std::size_t>(got), 44 - pump_->header.size());
        pump_->header.insert(pump_->header.end(), buffer.data(), buffer.data() + take);
        if (!console::writeAll(file, buffer.data(), static_cast<std::size_t>(got))) {
            error = "cannot spool it into " + path_.shown + ": " + console::lastErrorText();
            ok = false;
            break;
        }
        total += static_cast<std::uint64_t>(got);
    }
    if (::_close(file) != 0 && ok) {
        error = "cannot spool it into " + path_.shown + ": " + console::lastErrorText();
        ok = false;
    }
    if (!ok) {
        return false;
    }
    passed_.store(total);
    declared_.store(total);
    for (const std::string& warning : headerWarnings(path_.native)) {
        warn(warning);
    }
    return true;
}

std::vector<std::uint8_t> InputStream::awaitHeader() {
    return pump_ ? pump_->header : std::vector<std::uint8_t>{};
}

bool InputStream::finish(std::string& /*error*/) {
    if (pump_) {
        removeFile(path_);
        pump_.reset();
    }
    return true;
}

OutputStream::OutputStream() = default;

OutputStream::~OutputStream() {
    std::string ignored;
    (void)finish(false, ignored);
}

bool OutputStream::open(std::string& error) {
    std::optional<CliPath> spool = temporaryFile(error);
    if (!spool) {
        return false;
    }
    path_ = std::move(*spool);
    pump_ = std::make_unique<Pump>();
    return true;
}

bool OutputStream::finish(bool written, std::string& error) {
    if (!pump_) {
        return true;
    }
    bool ok = true;
    if (written) {
        const int file = ::_wopen(path_.native.c_str(), _O_RDONLY | _O_BINARY);
        ok = file >= 0;
        (void)::_setmode(1, _O_BINARY);
        std::vector<char> buffer(kChunk);
        while (ok) {
            const std::ptrdiff_t got = console::readSome(file, buffer.data(), buffer.size());
            if (got <= 0) {
                ok = got == 0;
                break;
            }
            ok = console::writeAll(1, buffer.data(), static_cast<std::size_t>(got));
        }
        if (!ok) {
            error = console::lastErrorText();
        }
        console::closeDescriptor(file);
    }
    removeFile(path_);
    pump_.reset();
    return ok;
}

} // namespace wavchorus_cli
