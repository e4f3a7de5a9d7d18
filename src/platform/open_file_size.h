// open_file_size: the length in bytes of a file already opened with the C
// runtime, as a 64-bit value, so files of 2 GiB and more are sized correctly.
// Depends on the host's stat call (POSIX fstat, Windows _fstat64).
#pragma once

#include <cstdint>
#include <cstdio>

// The size of the regular file behind file, or -1 when it has none that can
// be told (not a regular file, such as a directory or a pipe).
int64_t open_file_size(std::FILE* file);
