#pragma once

#include <QString>
#include <optional>

namespace lunorvale::Trash {

struct Outcome {
    bool moved = false;
    // Where the item now lies: an absolute path inside a trash folder's "files" folder. Absent when
    // nothing moved, and also when something moved but the reported place is not such a path.
    std::optional<QString> location;
};

// Moves the file or folder at `path` into the user's trash (the freedesktop trash of the volume,
// with its .trashinfo record). The data folder that holds the home trash is created first, since the
// mover otherwise reports success for a move into the current directory.
Outcome moveToTrash(const QString& path);

// Whether `path` is absolute, clean and directly inside the "files" folder of a home trash
// ("…/Trash/files") or a volume trash (".Trash-UID/files", ".Trash/UID/files").
bool isTrashLocation(const QString& path);

} // namespace lunorvale::Trash
