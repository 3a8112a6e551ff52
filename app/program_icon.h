// The program's own icon, for its windows and its notification-area icon.
#pragma once

#include <QIcon>

namespace app {

// The installed icon theme's copy when there is one (so a theme may restyle it), else the copy
// built into the program, in every size it is drawn in (16 to 256 pixels).
[[nodiscard]] QIcon programIcon();

}  // namespace app
