// One update of an archive at a time. Updates replace the archive by renaming a new file over
// it, so two at once would each build on the same old archive and the later rename would
// silently drop what the other stored. An update therefore holds an exclusive lock on the
// archive file (on its folder while the archive does not exist yet) from before it reads the
// old archive until the new one is in place; a second update waits for it.
#pragma once

#include <string>

#include "file_io.h"

namespace lzh::detail {

class UpdateLock {
  public:
    // Takes the lock of `archive`, waiting while another update holds it; the report says when
    // it had to wait, and for how long. Where the file system cannot lock, the report says that
    // instead and the update goes ahead unguarded. Once it holds the lock, it removes what
    // earlier updates that were killed left behind.
    UpdateLock(const std::string& archive, Report& rep);
    bool held() const { return fd_.valid(); }

  private:
    // Removes the temporary archives (`<archive>.tmp-XXXXXX`) of earlier updates that were
    // killed before they finished: only under the lock, and only files no running writer holds.
    void remove_stale_temporaries(Report& rep);

    std::string archive_;
    Fd fd_;  // holds the lock
};

}  // namespace lzh::detail
