// Checks on the pictures that icon modules export, and the ownership of the
// pixmaps made from them.
#pragma once

#include <X11/Intrinsic.h>

#include <cstddef>

namespace qv {

// How many string pointers the array exported at `address` holds, from the
// size in the module's symbol table; 0 when the size is not known.
size_t exported_array_length(const void *address);

// Whether `count` strings of in-memory XPM data hold everything their
// header line announces (colours, rows of the full width, the end of any
// extensions), so that libXpm reads nothing beyond them.
bool xpm_data_is_whole(const char *const *data, size_t count);

// Frees the pixmap on the X server when w is destroyed.
void free_pixmap_with(Widget w, Pixmap pixmap);

} // namespace qv
