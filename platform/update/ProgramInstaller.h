#pragma once

#include "app/ports/UpdateTypes.h"

#include <QByteArray>
#include <QString>

namespace lunorvale::ProgramInstaller {

// The program file an update replaces: the AppImage the program runs from ($APPIMAGE), else the
// running executable.
QString installedProgramPath();

// Whether the program at `programPath` may be replaced here. Programs below the system's own folders
// (/usr, /bin, /sbin, /lib*, /snap, /nix, /gnu, /var/lib/flatpak) or listed in one of this program's
// package file lists in `packageDatabase` (dpkg's "lunorvale*.list") belong to the package manager;
// a program whose file or folder the user cannot write is not writable.
InstallKind classify(const QString& programPath, const QString& packageDatabase);

// Replaces the program file at `programPath` (links above it resolved) with `program`: written beside
// it, made executable (0755), flushed and renamed over it, so that the old or the new program is in
// place whole at every moment. Throws UpdateError (installationFailed).
void install(const QByteArray& program, const QString& programPath);

// Starts `programPath` once the process `pid` (this one) has ended. False when it could not be arranged.
bool relaunchAfterExit(const QString& programPath, qint64 pid);

} // namespace lunorvale::ProgramInstaller
