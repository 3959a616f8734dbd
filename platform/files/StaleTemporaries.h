#pragma once

#include <QByteArrayView>
#include <functional>

namespace lunorvale::StaleTemporaries {

// A write in progress holds a lock on its temporary file from creation, before it writes a byte, until
// the file is renamed or removed, so that a temporary left by a write that never ended (the program was
// killed) can be told from one that another save is still writing.
void hold(int fd);

// Removes, through the opened folder `folder`, the temporary files that earlier writes of this program
// left behind: regular files whose name `ours` accepts and that no write holds, once they hold data or
// are a minute old (an empty one may belong to a write that has not yet taken its lock). Nothing else
// in the folder is touched; on a file system without locks nothing is removed. Returns how many were.
int remove(int folder, const std::function<bool(QByteArrayView name)>& ours);

} // namespace lunorvale::StaleTemporaries
