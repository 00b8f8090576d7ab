#pragma once
// The program folder on the real machine (FolderChoice chooses it): the probe asks Qt.

#include <string>

#include "platform/FolderChoice.h"

namespace halvern {

// The real probe: QCoreApplication::applicationDirPath and QStandardPaths::AppDataLocation.
std::string ProgramFolder(const std::string& override);

// The user's documents folder (QStandardPaths::DocumentsLocation); the home folder when that
// does not exist.
std::string DocumentsFolder();

// Gives Qt the program's name, which names the per-user folder: ~/.local/share/Halvern
// (Windows: %APPDATA%\Halvern). halvern and halvern-cli both call it, so they share the folder.
void NameProgram();

// True when a file can be created in the folder (a trial file, removed again). Permission
// bits alone do not tell: ACLs, read-only mounts and protected install folders differ.
bool FolderIsWritable(const std::string& folder);

}  // namespace halvern
