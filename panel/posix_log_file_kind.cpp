#include <sys/stat.h>

#include <QFile>

#include "panel/log_file_kind.h"

namespace korvalen {

bool IsRegularFile(const QString& path) {
  struct stat status {};
  return ::lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISREG(status.st_mode);
}

}  // namespace korvalen
