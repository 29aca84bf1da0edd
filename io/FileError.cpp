#include "io/FileError.h"

#include <cerrno>
#include <string>

#include "engine/Messages.h"

namespace ravelle {

// The messages are the three the runtime has for file trouble plus the
// numbered fallback. The errno values are grouped by what the user can do:
//   - the name points to nothing (ENOENT): "file not found";
//   - the name itself cannot work (too long, a file used as a directory,
//     a loop of links, bytes the file system refuses): "invalid name";
//   - the file or directory is there but may not be used this way
//     (permissions, read-only file system, a directory where a file is
//     wanted, a running program): "access denied", as the user would see it
//     for the same act on a Windows drive;
//   - anything else (full disk, I/O failure, ...) keeps its number.
std::string fileErrorMessage(int errorNumber)
{
    switch (errorNumber) {
    case ENOENT:
        return std::string(messages::kFileNotFound);
    case ENAMETOOLONG:
    case ENOTDIR:
    case EINVAL:
    case ELOOP:
    case EILSEQ:
        return std::string(messages::kInvalidFileName);
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
        return std::string(messages::kAccessDenied);
    default:
        return messages::ioError(errorNumber);
    }
}

UserError fileError(int errorNumber)
{
    return UserError(fileErrorMessage(errorNumber));
}

} // namespace ravelle
