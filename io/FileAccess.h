#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Plain POSIX file access for the data files: reading only regular files
// (a FIFO or a device would block or never end), and replacing a file as a
// whole so that a failed write leaves the earlier file as it was.
namespace ravelle {

// An open file descriptor, closed on destruction.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor();

    int get() const { return fd_; }
    int release();

private:
    int fd_ = -1;
};

// Opens an existing regular file for reading. Throws the file error for its
// errno; a directory is refused as access denied and any other kind of file
// with messages::notARegularFile, before a byte is read.
FileDescriptor openRegularFileForReading(const std::string& name);

// The size of an open file in bytes; 0 where it cannot be told.
std::size_t fileSizeOf(const FileDescriptor& file);

// Reads up to `size` bytes; 0 at the end of the file. Throws the file error.
std::size_t readSome(const FileDescriptor& file, char* buffer, std::size_t size);

// Writes a new version of `target` into a temporary file beside it and puts
// it in place only by commit(), so the target is either the old file or the
// complete new one. A replacement that is destroyed without commit() removes
// its temporary file. The new file keeps the mode of the file it replaces.
class FileReplacement {
public:
    // Throws the file error when the temporary file cannot be created or the
    // target may not be written; a directory as target is refused as access
    // denied, any other file that is not regular with messages::notARegularFile.
    explicit FileReplacement(const std::string& target);
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;
    ~FileReplacement();

    // Buffered; throws the file error when the bytes cannot be written.
    void write(std::string_view bytes);
    // Flushes, closes and renames over the target; throws the file error.
    void commit();

private:
    void flush();
    void discard() noexcept;

    std::string target_;
    std::string temporary_;
    FileDescriptor file_;
    std::string buffer_;
    bool committed_ = false;
};

} // namespace ravelle
