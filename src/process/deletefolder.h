#pragma once

#include <QString>

// Deletes a folder and everything below it, read-only and hidden entries
// included. Symbolic links are removed as links, never followed. Entries that
// cannot be removed are left (with the folders holding them); it always ends.
// A missing folder does nothing; a path that is itself a link loses the link only.
void deleteFolder(const QString &path);

// The per-user folder for intermediate files: torvane_tmp in the private
// runtime folder, or in a per-user folder under the temp folder.
QString privateTempFolder();

// Creates the folder owner-only (0700). False when it cannot, or when the path
// is a symbolic link, not a folder, or owned by another user, or when its
// parent could let another user swap it.
bool ensurePrivateFolder(const QString &path);
