// String, line and file helpers: "%X" key expansion, splitting on a
// separator, the final-newline test, protocol line output and reading a
// whole file into memory.
#include "engine/util.h"
#include "engine/internal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>

extern "C" {

char *QV_instExpandString(const char *text, const QV_instExpandKey *table)
{
    if (!text || !table)
        return nullptr;

    // Capacity starts at the text's length and follows each replacement, so
    // it is never below what has been written; an escape without an entry
    // only shrinks the output.
    size_t cap = std::strlen(text);
    size_t len = 0;
    char *out = static_cast<char *>(std::malloc(cap + 1));
    if (!out)
        return nullptr;

    for (const char *p = text; *p; ++p) {
        if (*p != '%') {
            out[len++] = *p;
            continue;
        }
        if (!*++p) // a '%' at the very end is dropped
            break;
        for (const QV_instExpandKey *k = table; k->value; ++k) {
            if (k->key != *p)
                continue;
            size_t n = std::strlen(k->value);
            cap = cap + n - 2;
            char *grown = static_cast<char *>(std::realloc(out, cap + 1));
            if (!grown) {
                std::free(out);
                return nullptr;
            }
            out = grown;
            std::memcpy(out + len, k->value, n);
            len += n;
            break;
        }
    }
    out[len] = '\0';
    return out;
}

char **QV_instSplitStringOn(const char *text, char separator, int *count)
{
    if (count)
        *count = 0;
    if (!text || separator == '\0')
        return nullptr;

    size_t fields = 1;
    for (const char *p = text; *p; ++p)
        fields += (*p == separator);
    char **array = static_cast<char **>(std::calloc(fields + 1, sizeof(char *)));
    if (!array)
        return nullptr;

    // The fields are cut from the text directly: each one is copied out
    // with its exact length, so no private copy of the whole text is needed.
    int n = 0;
    const char *start = text;
    for (;;) {
        const char *end = std::strchr(start, separator);
        size_t len = end ? static_cast<size_t>(end - start) : std::strlen(start);
        array[n] = strndup(start, len);
        if (!array[n]) {
            QV_instFreeStringArray(array);
            return nullptr;
        }
        ++n;
        if (!end)
            break;
        start = end + 1;
    }
    if (count)
        *count = n;
    return array;
}

void QV_instFreeStringArray(char **array)
{
    if (!array)
        return;
    for (char **p = array; *p; ++p)
        std::free(*p);
    std::free(array);
}

int QV_instNeedNewline(FILE *stream)
{
    if (!stream)
        return 0;
    off_t here = ftello(stream);
    if (here < 0) // not seekable: nothing can be said about its last byte
        return 0;
    bool had_error = ferror(stream);

    int need = 1;
    if (fseeko(stream, 0, SEEK_END) == 0) {
        off_t size = ftello(stream);
        if (size > 0 && fseeko(stream, size - 1, SEEK_SET) == 0 && fgetc(stream) == '\n')
            need = 0;
    }
    // A stream opened for appending only cannot be read; that failed read
    // must not leave an error mark for the caller's later writes.
    if (!had_error && ferror(stream))
        clearerr(stream);
    fseeko(stream, here, SEEK_SET);
    return need;
}

void QV_instSendUpdate(FILE *stream, const char *format, ...)
{
    if (!stream || !format)
        return;
    va_list ap;
    va_start(ap, format);
    std::vfprintf(stream, format, ap);
    va_end(ap);
    std::fflush(stream);
}

char *QV_instReadFileContent(const char *path)
{
    if (!path || !*path)
        return nullptr;
    qv::Fd fd(open(path, O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        return nullptr;
    struct stat st;
    // A directory can be opened but not read; some file systems give it a
    // size of 0, which would otherwise pass as an empty file.
    if (fstat(fd.get(), &st) != 0 || S_ISDIR(st.st_mode) || st.st_size < 0)
        return nullptr;
    size_t size = static_cast<size_t>(st.st_size);
    qv::CStr buf(static_cast<char *>(std::malloc(size + 1)));
    if (!buf)
        return nullptr;
    // One read: a file that changes size while it is read is refused rather
    // than returned half-read.
    ssize_t got = read(fd.get(), buf.get(), size);
    if (got < 0 || static_cast<size_t>(got) != size)
        return nullptr;
    buf.get()[size] = '\0';
    return buf.release();
}

} // extern "C"
