#include "app/program_icon.h"

namespace app {

QIcon programIcon() {
  QIcon builtIn;
  for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
    builtIn.addFile(QStringLiteral(":/icons/%1x%1/apps/marlo-backup.png").arg(size),
                    QSize(size, size));
  return QIcon::fromTheme(QStringLiteral("marlo-backup"), builtIn);
}

}  // namespace app
