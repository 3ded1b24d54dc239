/* Strings, paths, formatted strings and the log file: the small utilities
 * every part of the installer (and every loaded setup module) builds on.
 * Every string or array returned here is malloc'ed and owned by the caller. */
#ifndef QV_ENGINE_UTIL_H
#define QV_ENGINE_UTIL_H

#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define QV_PRINTF(f, a) __attribute__((format(printf, f, a)))
#else
#define QV_PRINTF(f, a)
#endif

/* Longest path the fixed-size path buffers of the installer hold. */
#define QV_PATH_MAX 4096

/* One entry of a key table for QV_instExpandString: "%<key>" becomes value.
 * A table ends at the first entry whose value is NULL. */
typedef struct QV_instExpandKey {
    char key;
    const char *value;
} QV_instExpandKey;

/* --- strings, lines, files --------------------------------------------- */
char *QV_instExpandString(const char *text, const QV_instExpandKey *table);
char **QV_instSplitStringOn(const char *text, char separator, int *count);
void QV_instFreeStringArray(char **array);
int QV_instNeedNewline(FILE *stream);
void QV_instSendUpdate(FILE *stream, const char *format, ...) QV_PRINTF(2, 3);
char *QV_instReadFileContent(const char *path);

/* --- paths ---------------------------------------------------------------- */
int QV_instRemoveExtraSlash(char *path);
char *QV_instBuildPath(const char *first, ...); /* parts, then a NULL pointer */
char *QV_instBasename(const char *path);
char *QV_instDirname(const char *path);
char *QV_instGetRealPath(const char *path);
char *QV_instGetPartitionDirectory(const char *path);

/* --- allocating formatted strings ----------------------------------------
 * Supported conversions: d i o u x X c e E f g G s %, with flags, width and
 * precision; anything else in a conversion position is dropped. */
typedef struct QV_instStrMeasure {
    uint32_t length; /* measured length of the result */
    char *buffer;    /* the result, allocated by the writing pass */
} QV_instStrMeasure;

char *QV_instStrPrint(const char *format, ...);
char *QV_instVStrprint(const char *format, va_list args);
char *QV_instStrConcat(char *base, ...); /* further strings, then a NULL pointer */
FILE *QV_instStrPopen(const char *format, const char *mode, ...);
int QV_instStrSystem(const char *format, ...);
int QV_instStrFormatPass(va_list args, const char *format, QV_instStrMeasure *record, int pass);

/* --- log file ------------------------------------------------------------ */
/* Longest log file name accepted (the name field holds 4128 bytes). */
#define QV_LOGNAME_MAX 4127

int QV_instInitLogfile(const char *name);
int QV_instInitLogfileAndTimeStamp(const char *name);
int QV_instUpdateLogfile(const char *format, ...) QV_PRINTF(1, 2);
FILE *QV_instOpenLogfile(void);
/* The current log file name ("" when no log is set); the log viewer reads it. */
const char *QV_instGetLogfileName(void);

#ifdef __cplusplus
}
#endif

#endif
