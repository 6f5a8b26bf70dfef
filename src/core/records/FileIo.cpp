#include "core/records/FileIo.h"

#include "core/records/DataFolder.h"
#include "core/sys/UniqueFd.h"
#include "core/text/Encoding.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <random>
#include <thread>
#include <utility>

namespace kaldrani::records::fileio {

namespace {

using Op = FileError::Operation;

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


// Where a symbolic link finally points; the path itself when it is no link. A loop ends
// after a bound and the open that follows reports it.
std::filesystem::path resolveLinks(const std::filesystem::path& path)
{
    std::filesystem::path p = path;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(p, ec)))
            return p;
        const std::filesystem::path target = std::filesystem::read_symlink(p, ec);
        if (ec)
            return p;
        p = target.is_absolute() ? target : p.parent_path() / target;
    }
    return p;
}

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// flock within the bound; a short poll keeps the wait bounded without signals.
bool lockWithin(int fd, std::chrono::milliseconds wait)
{
    const auto deadline = std::chrono::steady_clock::now() + wait;
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        // A file system without locks must not make the files unusable.
        if (errno == ENOLCK || errno == EOPNOTSUPP || errno == EINVAL)
            return true;
        if (errno != EWOULDBLOCK && errno != EINTR)
            return false;
        if (std::chrono::steady_clock::now() >= deadline) {
            errno = EWOULDBLOCK;
            return false;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(20));
    }
}

std::string lockReason(int error)
{
    if (error == EWOULDBLOCK)
        return "Another program keeps the file locked";
    return std::strerror(error);
}

// Refuses what is not a regular file with a reason the user can act on.
void requireRegular(const std::filesystem::path& path, const struct stat& st)
{
    if (S_ISDIR(st.st_mode))
        throw cannotOpen(path, EISDIR);
    if (!S_ISREG(st.st_mode))
        throw FileError(Op::Open, path, "Not a regular file");
}

bool mayWrite(const std::filesystem::path& target)
{
    return ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) == 0;
}

// The folder keeps no new name, so the file itself takes the bytes. Not crash-safe, but
// the only way to honour a file the user made writable on purpose.
void rewriteInPlace(const std::filesystem::path& shown, const std::filesystem::path& target, std::string_view bytes)
{
    Fd fd(::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0)
        throw cannotCreate(shown, errno);
    std::string_view left = bytes;
    off_t offset = 0;
    while (!left.empty()) {
        const ssize_t n = ::pwrite(fd.get(), left.data(), left.size(), offset);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw cannotCreate(shown, errno);
        }
        left.remove_prefix(static_cast<size_t>(n));
        offset += n;
    }
    if (::ftruncate(fd.get(), static_cast<off_t>(bytes.size())) != 0 || ::fsync(fd.get()) != 0)
        throw cannotCreate(shown, errno);
    if (!fd.closeNow())
        throw cannotCreate(shown, errno);
}

// Writes bytes as the target's new content; `old` is the target's state when it exists.
void replaceTarget(const std::filesystem::path& shown, const std::filesystem::path& target, std::string_view bytes,
                   const struct stat* old)
{
    if (bytes.size() > kMaxDataFileBytes)
        throw cannotCreate(shown, EFBIG);
    if (old && !S_ISREG(old->st_mode))
        throw FileError(Op::Create, shown, S_ISDIR(old->st_mode) ? std::strerror(EISDIR)
                                                                                    : "Not a regular file");
    if (old && !mayWrite(target))
        throw cannotCreate(shown, errno);

    std::filesystem::path folder = target.parent_path();
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
    if (raw < 0) {
        if (old && (errno == EACCES || errno == EPERM)) {
            rewriteInPlace(shown, target, bytes);
            return;
        }
        throw cannotCreate(shown, errno);
    }

    Fd fd(raw);
    auto fail = [&](int error) {
        fd.closeNow();
        ::unlink(temp.c_str());
        throw cannotCreate(shown, error);
    };
    if (old) {
        // Owner first: a change of owner clears set-id bits that the mode then restores.
        // Best effort: only root may hand the file back to another owner.
        if (old->st_uid != ::geteuid() || old->st_gid != ::getegid()) {
            [[maybe_unused]] const int chowned = ::fchown(fd.get(), old->st_uid, old->st_gid);
        }
        ::fchmod(fd.get(), old->st_mode & 07777);
    }
    if (!writeAll(fd.get(), bytes) || ::fsync(fd.get()) != 0)
        fail(errno);
    if (!fd.closeNow()) {
        const int error = errno;
        ::unlink(temp.c_str());
        throw cannotCreate(shown, error);
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        throw cannotCreate(shown, error);
    }
    // Makes the rename itself durable; the data is safe either way, so errors are moot.
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0)
        ::fsync(dir.get());
}

// Reads from fd until its end, refusing more than the bound.
std::string readBounded(int fd, const std::filesystem::path& path, std::uintmax_t sizeHint)
{
    std::string bytes;
    if (sizeHint > 0)
        bytes.reserve(static_cast<size_t>(std::min<std::uintmax_t>(sizeHint, kMaxDataFileBytes)));
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw cannotOpen(path, errno);
        }
        if (n == 0)
            break;
        if (bytes.size() + static_cast<size_t>(n) > kMaxDataFileBytes)
            throw tooLarge(path);
        bytes.append(buf, static_cast<size_t>(n));
    }
    return bytes;
}

} // namespace

FileError cannotOpen(const std::filesystem::path& path, int error)
{
    return {Op::Open, path, std::strerror(error)};
}

FileError cannotCreate(const std::filesystem::path& path, int error)
{
    return {Op::Create, path, std::strerror(error)};
}

FileError cannotWrite(const std::filesystem::path& path, int error)
{
    return {Op::Write, path, std::strerror(error)};
}

FileError tooLarge(const std::filesystem::path& path)
{
    return {Op::Open, path, "File too large (more than 64 MiB)"};
}

std::string readWholeFile(const std::filesystem::path& path)
{
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        throw cannotOpen(path, errno);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        throw cannotOpen(path, errno);
    if (S_ISDIR(st.st_mode))
        throw cannotOpen(path, EISDIR);
    if (S_ISREG(st.st_mode) && static_cast<std::uintmax_t>(st.st_size) > kMaxDataFileBytes)
        throw tooLarge(path);
    return readBounded(fd.get(), path, S_ISREG(st.st_mode) ? static_cast<std::uintmax_t>(st.st_size) : 0);
}

std::string readDataFile(const std::filesystem::path& path)
{
    // O_NONBLOCK: opening a FIFO would otherwise wait for a writer that never comes.
    Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0)
        throw cannotOpen(path, errno);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        throw cannotOpen(path, errno);
    requireRegular(path, st);
    if (static_cast<std::uintmax_t>(st.st_size) > kMaxDataFileBytes)
        throw tooLarge(path);
    return readBounded(fd.get(), path, static_cast<std::uintmax_t>(st.st_size));
}

void createIfMissing(const std::filesystem::path& path)
{
    // O_EXCL: an existing file is neither opened nor judged by its permissions.
    Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd.get() < 0 && errno != EEXIST)
        throw cannotCreate(path, errno);
}

void replaceFile(const std::filesystem::path& path, std::string_view bytes)
{
    const std::filesystem::path target = resolveLinks(path);
    struct stat old {};
    if (::stat(target.c_str(), &old) != 0) {
        if (errno != ENOENT)
            throw cannotCreate(path, errno);
        replaceTarget(path, target, bytes, nullptr);
        return;
    }
    if (!S_ISREG(old.st_mode)) {
        replaceTarget(path, target, bytes, &old);
        return;
    }
    std::optional<LockedFile> file;
    try {
        file.emplace(path);
    } catch (const FileError& e) {
        // A save reports with its own text, and the reason the open or the lock gave.
        throw e.as(Op::Create);
    }
    file->replace(bytes);
}

LockedFile::LockedFile(const std::filesystem::path& path, std::chrono::milliseconds wait)
    : m_path(path), m_target(resolveLinks(path))
{
    // A trim renames a new file over the old one; a writer that locked the old one in the
    // meantime must start again on the file the name now holds.
    for (int attempt = 0; attempt < 100; ++attempt) {
        Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        if (fd.get() < 0 && errno == EACCES)
            fd = Fd(::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
        if (fd.get() < 0)
            throw cannotOpen(path, errno);
        if (::fstat(fd.get(), &m_stat) != 0)
            throw cannotOpen(path, errno);
        requireRegular(path, m_stat);
        if (!lockWithin(fd.get(), wait))
            throw FileError(Op::Open, path, lockReason(errno));
        struct stat now {};
        if (::stat(path.c_str(), &now) == 0 && sameFile(now, m_stat)) {
            ::fstat(fd.get(), &m_stat);
            m_fd = fd.release();
            return;
        }
    }
    throw FileError(Op::Open, path, lockReason(EWOULDBLOCK));
}

LockedFile::~LockedFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

std::string LockedFile::readAt(std::uintmax_t offset, std::size_t count) const
{
    std::string bytes(count, '\0');
    const ssize_t n = fileio::readAt(m_fd, bytes.data(), count, static_cast<off_t>(offset));
    if (n < 0)
        throw cannotOpen(m_path, errno);
    bytes.resize(static_cast<size_t>(n));
    return bytes;
}

bool LockedFile::writable() const
{
    return mayWrite(m_target);
}

void LockedFile::replace(std::string_view bytes)
{
    replaceTarget(m_path, m_target, bytes, &m_stat);
    ::fstat(m_fd, &m_stat);
}

void appendLine(const std::filesystem::path& path, std::string_view line)
{
    constexpr int flags = O_RDWR | O_APPEND | O_NONBLOCK | O_CLOEXEC;
    for (int attempt = 0; attempt < 100; ++attempt) {
        bool created = true;
        Fd fd(::open(path.c_str(), flags | O_CREAT | O_EXCL, 0666));
        if (fd.get() < 0) {
            if (errno != EEXIST)
                throw cannotCreate(path, errno);
            created = false;
            // O_CREAT without O_EXCL: a link whose target is missing makes the target.
            fd = Fd(::open(path.c_str(), flags | O_CREAT, 0666));
            if (fd.get() < 0)
                throw cannotOpen(path, errno);
        }
        // A file made here and left empty by a failure goes again, as if never made.
        auto dropIfMade = [&] {
            struct stat st {};
            if (created && ::fstat(fd.get(), &st) == 0 && st.st_size == 0)
                ::unlink(path.c_str());
        };
        struct stat st {};
        if (::fstat(fd.get(), &st) != 0)
            throw cannotOpen(path, errno);
        requireRegular(path, st);
        if (!lockWithin(fd.get(), kLockWait)) {
            const int error = errno;
            dropIfMade();
            throw FileError(Op::Open, path, lockReason(error));
        }
        struct stat now {};
        if (::stat(path.c_str(), &now) != 0 || !sameFile(now, st))
            continue;
        ::fstat(fd.get(), &st);

        char head[3] = {};
        const ssize_t headSize = readAt(fd.get(), head, sizeof head, 0);
        if (headSize < 0)
            throw cannotOpen(path, errno);
        const auto mark = text::detectByteOrderMark(std::string_view(head, static_cast<size_t>(headSize)));

        std::string bytes;
        if (mark == text::ByteOrderMark::Utf16LE || mark == text::ByteOrderMark::Utf16BE) {
            const bool bigEndian = mark == text::ByteOrderMark::Utf16BE;
            // After the two-byte mark an odd size means a stray byte: one zero byte completes
            // its character, so the record starts on a character boundary.
            const bool odd = st.st_size % 2 != 0;
            unsigned unit = '\n';
            if (odd) {
                char stray = 0;
                if (readAt(fd.get(), &stray, 1, st.st_size - 1) != 1)
                    throw cannotOpen(path, errno);
                const auto b = static_cast<unsigned char>(stray);
                unit = bigEndian ? b << 8 : b;
                bytes += '\0';
            } else if (st.st_size >= 4) {
                char last[2] = {};
                if (readAt(fd.get(), last, 2, st.st_size - 2) != 2)
                    throw cannotOpen(path, errno);
                const auto a = static_cast<unsigned char>(last[0]), b = static_cast<unsigned char>(last[1]);
                unit = bigEndian ? (a << 8 | b) : (b << 8 | a);
            }
            const bool needsBreak = unit != '\r' && unit != '\n';
            bytes += text::utf8ToUtf16(std::string(needsBreak ? "\r\n" : "") + text::sanitizeUtf8(line) + "\r\n", bigEndian);
        } else {
            const off_t start = mark == text::ByteOrderMark::Utf8 ? 3 : 0;
            char last = '\n';
            if (st.st_size > start && readAt(fd.get(), &last, 1, st.st_size - 1) != 1)
                throw cannotOpen(path, errno);
            const bool needsBreak = last != '\r' && last != '\n';
            const std::string body = mark == text::ByteOrderMark::Utf8 ? text::sanitizeUtf8(line) : text::utf8ToGbk(line);
            bytes = (needsBreak ? "\r\n" : "") + body + "\r\n";
        }
        if (static_cast<std::uintmax_t>(st.st_size) + bytes.size() > kMaxDataFileBytes)
            throw FileError(Op::Write, path, "File too large (more than 64 MiB)");
        // One write under the lock; a failure takes back what part of it landed.
        if (!writeAll(fd.get(), bytes)) {
            const int error = errno;
            // Best effort: the write's own error is the one to report.
            [[maybe_unused]] const int truncated = ::ftruncate(fd.get(), st.st_size);
            dropIfMade();
            throw cannotWrite(path, error);
        }
        if (!fd.closeNow())
            throw cannotWrite(path, errno);
        return;
    }
    throw FileError(Op::Open, path, lockReason(EWOULDBLOCK));
}

std::string openForEdit(const std::filesystem::path& path, std::optional<LockedFile>& file)
{
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    createIfMissing(path);
    try {
        file.emplace(path);
    } catch (const FileError& e) {
        throw e.as(FileError::Operation::Create);
    }
    if (file->size() > kMaxDataFileBytes)
        throw tooLarge(path);
    return file->readAt(0, static_cast<size_t>(file->size()));
}

} // namespace kaldrani::records::fileio
