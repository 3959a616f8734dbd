#pragma once

#include <QByteArrayView>
#include <functional>

namespace lunorvale::StaleTemporaries {

// A write in progress holds a lock on its temporary file from creation until the descriptor closes, so
// that a temporary left by a write that never ended (the program was killed) can be told from one that
// another save is still writing. Where the file system has no such locks, the age alone tells them apart.
void hold(int fd);

// Removes, through the opened folder `folder`, the temporary files that earlier writes of this program
// left behind: regular files whose name `ours` accepts, unchanged for a minute or more and not held by
// any write. Nothing else in the folder is touched. Returns how many were removed.
int remove(int folder, const std::function<bool(QByteArrayView name)>& ours);

} // namespace lunorvale::StaleTemporaries
