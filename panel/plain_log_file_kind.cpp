#include <QFileInfo>

#include "panel/log_file_kind.h"

namespace korvalen {

// Without lstat: what Qt calls a file, and neither a symbolic link, a shortcut nor a junction.
bool IsRegularFile(const QString& path) {
  const QFileInfo info(path);
  return info.isFile() && !info.isSymLink() && !info.isJunction();
}

}  // namespace korvalen
