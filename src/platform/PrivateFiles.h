#pragma once

#include <filesystem>
#include <string>
#include <system_error>

// The user's own files (the history, the settings, the error reports): folders are made 0700 and
// files 0600 from the moment they exist, whatever the umask, and nothing is written through a
// symbolic link or into a folder that another user owns or may write to. Any thread.
namespace platform::PrivateFiles {

// Whether `path` is itself a folder (not a symbolic link to one), owned by this user and closed to
// everyone else.
bool isPrivateFolder(const std::filesystem::path& path);

// Whether `path`, followed through symbolic links, is a folder that this user owns: the folder of
// the settings and the history may be a link (to a synchronised folder, say), but never to another
// user's folder, whose owner could read the history or swap its files. False, with the reason in
// `problem`, when it is not; a missing folder is no problem (it is made this user's).
bool isOwnFolder(const std::filesystem::path& path, std::string& problem);

// Makes `path` and every missing folder above it with mode 0700; folders already there are left as
// they are. False, with `error` set, when `path` is no folder afterwards.
bool createFolders(const std::filesystem::path& path, std::error_code& error);

// Makes `path` a private folder to write in: missing folders are made 0700; the folder itself must
// not be a symbolic link and must be this user's, and is closed to everyone else when it is not
// yet. False, with the reason in `problem`, when it cannot be had: then nothing may be written
// there, since another user could plant links or read what is written.
bool ensurePrivateFolder(const std::filesystem::path& path, std::string& problem);

// Creates an empty file with mode 0600 unless something is there already (a symbolic link is
// never followed). False, with `error` set, when nothing is there and nothing could be made.
bool createFile(const std::filesystem::path& path, std::error_code& error);

// Opens a regular file for writing with `flags` added (O_APPEND, O_TRUNC), created with mode 0600
// when missing, never through a symbolic link and never a FIFO or device; closed on exec. -1 with
// errno set when it cannot be.
int openForWriting(const std::filesystem::path& path, int flags);

} // namespace platform::PrivateFiles
