#pragma once

#include <string>

// Small file services for the per-user stores: whole-file reads, folder creation and writes that
// replace a file in one step, so that a crash leaves either the old or the new contents.

// Reads the whole file into contents; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& contents);

// Creates the folder and any missing folders above it; true when it exists as a folder afterwards.
bool MakeFolders(const std::string& path);

// A folder for the user's eyes only, as one of Pelmora's state folders (backups, recovery copies):
// missing folders on the way are made 0700, and the folder and a "pelmora" folder above it are
// tightened to 0700 when they exist already. True when the folder is there.
bool MakePrivateFolder(const std::string& path);

// Writes contents to a temporary file beside path, flushes it to the disk and renames it over
// path. A symbolic link at path is followed, so the file it points to is the one replaced, and a
// path that is not a regular file is refused.
bool WriteFileAtomically(const std::string& path, const std::string& contents);
