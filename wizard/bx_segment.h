/* One segment of a "::" compound-string text, as the scanner of the builder
 * layer sees it (private to the wizard; exported for tests and modules). */
#ifndef QV_WIZARD_BX_SEGMENT_H
#define QV_WIZARD_BX_SEGMENT_H

#include <stddef.h>
#include <wchar.h>

#include <X11/Intrinsic.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Tag and text point into the scanned wide text (not NUL-terminated); a NULL
 * tag or text means the segment has none. The text still holds its escapes. */
typedef struct BxSegment {
    const wchar_t *tag;
    size_t tagLength;
    const wchar_t *text;
    size_t textLength;
    Boolean separator; /* a line separator follows the segment */
    int direction;     /* 0 left to right, 1 right to left */
} BxSegment;

/* Scans the segment that begins at *position and advances *position past it.
 * Returns True when characters remain after the segment. */
Boolean cvtNextSegment(const wchar_t **position, BxSegment *segment);

#ifdef __cplusplus
}
#endif

#endif
