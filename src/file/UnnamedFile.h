// A file that has no name until it is complete. A process that dies while it
// writes one, by any signal or a power cut, leaves nothing behind: the system
// frees the file with its last descriptor.
//
// Linux has it (O_TMPFILE). Elsewhere, and on file systems that refuse it,
// openUnnamedFile fails and the caller writes a named temporary file instead.
#pragma once

#include <string>

namespace mavrel {

// A new, empty file in directory, open for writing, with mode 0666 less the
// umask (and the directory's default ACL), as a plain create would give it.
// Returns its descriptor, or -1 with errno set.
int openUnnamedFile(const std::string& directory);

// Gives the unnamed file behind fd the name path, which must not exist yet (on
// Linux that is EEXIST). False with err set on failure. The file stays open.
bool nameUnnamedFile(int fd, const std::string& path, int& err);

} // namespace mavrel
