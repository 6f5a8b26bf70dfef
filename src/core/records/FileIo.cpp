#include "core/records/FileIo.h"

#include "core/records/DataFolder.h"
#include "core/sys/UniqueFd.h"
#include "core/text/Encoding.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

namespace kaldrani::records::fileio {

namespace {

std::string message(const char* what, const std::filesystem::path& path, int error)
{
    return std::string(what) + " \"" + path.string() + "\". " + std::strerror(error);
}

// Closes on every path; close errors matter only where the caller checks closeNow().
using Fd = sys::UniqueFd;

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// Reads up to size bytes at offset; returns how many were read, or -1.
ssize_t readAt(int fd, char* buf, size_t size, off_t offset)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, buf + done, size - done, offset + static_cast<off_t>(done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

std::string uniqueSuffix()
{
    thread_local std::mt19937_64 random{std::random_device{}()};
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (auto v = random(); s.size() < 12; v >>= 4)
        s += digits[v & 0xF];
    return s;
}

} // namespace

std::string cannotOpen(const std::filesystem::path& path, int error)
{
    return message("Cannot open file", path, error);
}

std::string cannotCreate(const std::filesystem::path& path, int error)
{
    return message("Cannot create file", path, error);
}

std::string readWholeFile(const std::filesystem::path& path)
{
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        throw FileError(cannotOpen(path, errno));
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        throw FileError(cannotOpen(path, errno));
    if (S_ISDIR(st.st_mode))
        throw FileError(cannotOpen(path, EISDIR));
    std::string bytes;
    if (st.st_size > 0)
        bytes.reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw FileError(cannotOpen(path, errno));
        }
        if (n == 0)
            break;
        bytes.append(buf, static_cast<size_t>(n));
    }
    return bytes;
}

void createIfMissing(const std::filesystem::path& path)
{
    // O_EXCL: an existing file is neither opened nor judged by its permissions.
    Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd.get() < 0 && errno != EEXIST)
        throw FileError(cannotCreate(path, errno));
}

void replaceFile(const std::filesystem::path& path, std::string_view bytes)
{
    std::filesystem::path folder = path.parent_path();
    if (folder.empty())
        folder = ".";
    // The name ends in ".tmp", so it can never be taken for a site's ".txt" history.
    std::filesystem::path temp;
    int raw = -1;
    for (int attempt = 0; attempt < 100 && raw < 0; ++attempt) {
        temp = folder / (".kaldrani-" + std::to_string(::getpid()) + "-" + uniqueSuffix() + ".tmp");
        raw = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (raw < 0 && errno != EEXIST)
            break;
    }
    if (raw < 0)
        throw FileError(cannotCreate(path, errno));

    Fd fd(raw);
    auto fail = [&](int error) {
        fd.closeNow();
        ::unlink(temp.c_str());
        throw FileError(cannotCreate(path, error));
    };
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode))
        ::fchmod(fd.get(), old.st_mode & 07777);
    if (!writeAll(fd.get(), bytes) || ::fsync(fd.get()) != 0)
        fail(errno);
    if (!fd.closeNow()) {
        const int error = errno;
        ::unlink(temp.c_str());
        throw FileError(cannotCreate(path, error));
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        throw FileError(cannotCreate(path, error));
    }
    // Makes the rename itself durable; the data is safe either way, so errors are moot.
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0)
        ::fsync(dir.get());
}

bool appendLine(const std::filesystem::path& path, std::string_view line)
{
    Fd fd(::open(path.c_str(), O_RDWR | O_APPEND | O_CLOEXEC));
    if (fd.get() < 0)
        return false;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;

    char head[3] = {};
    const ssize_t headSize = readAt(fd.get(), head, sizeof head, 0);
    if (headSize < 0)
        return false;
    const auto mark = text::detectByteOrderMark(std::string_view(head, static_cast<size_t>(headSize)));

    std::string text;
    bool needsBreak = false;
    if (mark == text::ByteOrderMark::Utf16LE || mark == text::ByteOrderMark::Utf16BE) {
        const bool bigEndian = mark == text::ByteOrderMark::Utf16BE;
        char last[2] = {};
        if (st.st_size >= 4 && readAt(fd.get(), last, 2, st.st_size - 2) == 2) {
            const auto a = static_cast<unsigned char>(last[0]), b = static_cast<unsigned char>(last[1]);
            const unsigned unit = bigEndian ? (a << 8 | b) : (b << 8 | a);
            needsBreak = unit != '\r' && unit != '\n';
        }
        text = text::utf8ToUtf16(std::string(needsBreak ? "\r\n" : "") + text::sanitizeUtf8(line) + "\r\n", bigEndian);
    } else {
        const off_t start = mark == text::ByteOrderMark::Utf8 ? 3 : 0;
        char last = '\n';
        if (st.st_size > start && readAt(fd.get(), &last, 1, st.st_size - 1) != 1)
            return false;
        needsBreak = last != '\r' && last != '\n';
        const std::string body = mark == text::ByteOrderMark::Utf8 ? text::sanitizeUtf8(line) : text::utf8ToGbk(line);
        text = (needsBreak ? "\r\n" : "") + body + "\r\n";
    }
    // One write: a record is either appended whole or, on a full disk, cut short.
    if (!writeAll(fd.get(), text))
        return false;
    return fd.closeNow();
}

} // namespace kaldrani::records::fileio
