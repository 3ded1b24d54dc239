/* File operations of the install child: directories, copies, bzip2 files,
 * tar archives, links and deletions. Each step is reported as a protocol
 * line on the given stream (the pipe to the parent), or not at all when the
 * stream is NULL. Results: 0 success, nonzero failure. */
#ifndef QV_ENGINE_FILEOPS_H
#define QV_ENGINE_FILEOPS_H

#include <stdint.h>
#include <stdio.h>
#include "engine/cdinst.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Data moves in blocks of this many bytes, one progress line per block. */
#define QV_COPY_BLOCK 10240

int QV_instMkdir(const char *path, int mode, FILE *stream);
int QV_instCopyFile(const char *source, const char *destination, int mode, int64_t size, FILE *stream, int remove);
int QV_instUncompress(const char *source, const char *destination, int mode, int64_t size, FILE *stream, int remove);
int QV_instUntar(const _QV_InstTar *tar, const char *sourceDir, const char *destDir, long size, int compressed,
                 FILE *stream, QV_InstMode mode);
int QV_instHardlink(const char *dir, const char *target, const char *link, int64_t size, FILE *stream, int remove);
int QV_instSoftlink(const char *dir, const char *target, const char *link, int64_t size, FILE *stream, int remove);
int QVinstDeleteFile(const char *path, FILE *stream, long size);
int QV_instAbortRetryMessageBox(FILE *stream, const char *title, const char *source, char **newDir);
int QV_instQueryForSource(FILE *stream, const char *title, const char *source);
int IsSetupExe(const char *path);
int QVinstGetFileSize(const char *path);
char *QV_instGetQVLocation(void);

#ifdef __cplusplus
}
#endif

#endif
