#include "engine/Messages.h"
#include "io/FileAccess.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

#include "io/FileError.h"
#include "io/LastDir.h"

namespace ravelle {

namespace {

constexpr std::size_t kWriteBufferSize = 1 << 16;

// The file a name finally refers to, so that replacing a link replaces the
// file behind it, as writing through the link would. A dangling link or an
// unresolvable name is taken as it is.
std::string resolvedTarget(const std::string& name)
{
    struct stat status {};
    if (::lstat(name.c_str(), &status) != 0 || !S_ISLNK(status.st_mode))
        return name;
    char resolved[PATH_MAX];
    if (::realpath(name.c_str(), resolved) == nullptr)
        return name;
    return resolved;
}

std::string temporaryNameBeside(const std::string& target, unsigned attempt)
{
    std::string directory = directoryPart(target);
    if (directory.empty())
        directory.push_back('.');
    if (directory.back() != '/')
        directory.push_back('/');
    // Hidden and short, so that a long target name cannot make it too long.
    directory.append(".ravelle-").append(std::to_string(::getpid()));
    directory.append("-").append(std::to_string(attempt)).append(".tmp");
    return directory;
}

} // namespace

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = other.release();
    }
    return *this;
}

FileDescriptor::~FileDescriptor()
{
    if (fd_ >= 0)
        ::close(fd_);
}

int FileDescriptor::release()
{
    return std::exchange(fd_, -1);
}

FileDescriptor openRegularFileForReading(const std::string& name)
{
    // O_NONBLOCK: opening a FIFO without a writer must not wait; the type
    // check below then refuses it.
    FileDescriptor file(::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (file.get() < 0)
        throw fileError(errno);
    struct stat status {};
    if (::fstat(file.get(), &status) != 0)
        throw fileError(errno);
    if (S_ISDIR(status.st_mode))
        throw fileError(EISDIR);
    if (!S_ISREG(status.st_mode))
        throw UserError(messages::notARegularFile(name));
    return file;
}

std::size_t fileSizeOf(const FileDescriptor& file)
{
    struct stat status {};
    if (::fstat(file.get(), &status) != 0 || status.st_size < 0)
        return 0;
    return static_cast<std::size_t>(status.st_size);
}

std::size_t readSome(const FileDescriptor& file, char* buffer, std::size_t size)
{
    for (;;) {
        const ssize_t got = ::read(file.get(), buffer, size);
        if (got >= 0)
            return static_cast<std::size_t>(got);
        if (errno != EINTR)
            throw fileError(errno);
    }
}

FileReplacement::FileReplacement(const std::string& target) : target_(resolvedTarget(target))
{
    struct stat existing {};
    const bool exists = ::stat(target_.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode))
        throw fileError(EISDIR);
    if (exists && !S_ISREG(existing.st_mode))
        throw UserError(messages::notARegularFile(target));
    // Renaming would get round a write-protected file; it stays protected.
    if (exists && ::access(target_.c_str(), W_OK) != 0)
        throw fileError(errno);

    for (unsigned attempt = 0;; ++attempt) {
        temporary_ = temporaryNameBeside(target_, attempt);
        // 0666 lets the umask decide, as for any newly created file.
        const int fd = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            file_ = FileDescriptor(fd);
            break;
        }
        if (errno != EEXIST || attempt >= 1000) {
            const int error = errno;
            temporary_.clear();
            throw fileError(error);
        }
    }
    if (exists)
        ::fchmod(file_.get(), existing.st_mode & 07777); // best effort
    buffer_.reserve(kWriteBufferSize);
}

FileReplacement::~FileReplacement()
{
    if (!committed_)
        discard();
}

void FileReplacement::discard() noexcept
{
    file_ = FileDescriptor();
    if (!temporary_.empty())
        ::unlink(temporary_.c_str());
    temporary_.clear();
}

void FileReplacement::write(std::string_view bytes)
{
    if (buffer_.size() + bytes.size() > kWriteBufferSize)
        flush();
    if (bytes.size() >= kWriteBufferSize) {
        buffer_.assign(bytes);
        flush();
    } else {
        buffer_.append(bytes);
    }
}

void FileReplacement::flush()
{
    std::size_t done = 0;
    while (done < buffer_.size()) {
        const ssize_t wrote = ::write(file_.get(), buffer_.data() + done, buffer_.size() - done);
        if (wrote < 0) {
            if (errno == EINTR)
                continue;
            throw fileError(errno);
        }
        done += static_cast<std::size_t>(wrote);
    }
    buffer_.clear();
}

void FileReplacement::commit()
{
    flush();
    // Delayed write errors (full disk on a network or quota file system)
    // show up at fsync or close; the target must not be replaced then.
    if (::fsync(file_.get()) != 0 && errno != EINVAL && errno != EROFS)
        throw fileError(errno);
    const int fd = file_.release();
    if (::close(fd) != 0 && errno != EINTR)
        throw fileError(errno);
    if (::rename(temporary_.c_str(), target_.c_str()) != 0)
        throw fileError(errno);
    committed_ = true;
}

} // namespace ravelle
