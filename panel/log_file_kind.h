#pragma once

#include <QString>

namespace korvalen {

// True when `path` names a regular file itself, not a link to one: the only kind of log a rotation
// may rename. A link would be renamed in place of its target, and a device or a pipe (/dev/stdout,
// a FIFO a reader waits on) must never be moved at all. POSIX systems build
// posix_log_file_kind.cpp (lstat); the others plain_log_file_kind.cpp.
[[nodiscard]] bool IsRegularFile(const QString& path);

}  // namespace korvalen
