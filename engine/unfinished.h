// Files the install child has begun but not yet put in place, kept where a
// signal handler can reach them: a run that a signal ends removes them on
// its way out instead of leaving them in the user's folders.
#pragma once

namespace qv {

enum class Unfinished {
    Copy,    // the temporary file of a copy or decompression
    History, // the history being written, before it replaces the old one
};

// Remembers path as the unfinished file of its kind; nullptr forgets it.
void mark_unfinished(Unfinished kind, const char *path);

// Removes every remembered file. Safe to call from a signal handler.
void remove_unfinished();

} // namespace qv
