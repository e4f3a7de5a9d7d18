// open_file_size: per-platform size of an open C runtime file.
#include "platform/open_file_size.h"

#include <sys/stat.h>
#include <sys/types.h>

#ifdef _WIN32
#include <io.h>

int64_t open_file_size(std::FILE* file)
{
    struct _stat64 info;
    if (file == nullptr || _fstat64(_fileno(file), &info) != 0)
        return -1;
    if ((info.st_mode & _S_IFMT) != _S_IFREG)
        return -1;
    return static_cast<int64_t>(info.st_size);
}

#else
#include <unistd.h>

int64_t open_file_size(std::FILE* file)
{
    struct stat info;
    if (file == nullptr || fstat(fileno(file), &info) != 0)
        return -1;
    if (!S_ISREG(info.st_mode))
        return -1;
    return static_cast<int64_t>(info.st_size);
}

#endif
