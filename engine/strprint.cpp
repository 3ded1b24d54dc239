// Allocating formatted strings: a printf-like formatter that measures its
// result first and then writes it into one buffer of exactly that size, and
// the concatenation, popen and system wrappers that modules use.
#include "engine/util.h"
#include "engine/internal.h"

#include <regex.h>

#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// One conversion: '%', flags, width, precision and the conversion
// character. The precision must not start with 0, so "%.0f" is read as an
// unsupported conversion '.' followed by the literal text "0f".
const char kConversion[] = "%([-+# 0]+)?([1-9][0-9]*)?(\\.[1-9][0-9]*)?(.?)";

// Largest width or precision honoured. printf cannot go beyond INT_MAX at
// all, and no message, command or path needs padding anywhere near this; a
// conversion asking for more cannot be formatted and fails the whole string
// (as a scratch that cannot be allocated would) instead of allocating
// gigabytes.
constexpr unsigned long kFieldMax = 65535;

// The measured length must stay below the 32-bit count, with room for the NUL.
constexpr uint64_t kLengthMax = UINT32_MAX - 1;

// The compiled pattern, released when the pass ends on any path.
class Pattern {
public:
    Pattern() { ok_ = regcomp(&re_, kConversion, REG_EXTENDED) == 0; }
    ~Pattern()
    {
        if (ok_)
            regfree(&re_);
    }
    Pattern(const Pattern &) = delete;
    Pattern &operator=(const Pattern &) = delete;
    bool ok() const { return ok_; }
    const regex_t *get() const { return &re_; }

private:
    regex_t re_;
    bool ok_;
};

// A va_list copy ended on scope exit.
struct ArgCopy {
    va_list ap;
    explicit ArgCopy(va_list src) { va_copy(ap, src); }
    ~ArgCopy() { va_end(ap); }
    ArgCopy(const ArgCopy &) = delete;
    ArgCopy &operator=(const ArgCopy &) = delete;
};

// Length of a regex group, 0 when it did not take part in the match.
size_t group_len(const regmatch_t &m)
{
    return m.rm_so < 0 ? 0 : static_cast<size_t>(m.rm_eo - m.rm_so);
}

// The printf directive of one conversion, rebuilt from its parts into a
// fixed buffer that always has room: each flag is kept once (repeating a
// flag does not change printf's output), and width and precision are at
// most kFieldMax. Returns false when a width or precision is too large.
class Directive {
public:
    bool build(const char *match, const regmatch_t *g, bool use_precision)
    {
        len_ = 0;
        text_[len_++] = '%';
        for (size_t i = 0; i < group_len(g[1]); ++i) {
            char f = match[g[1].rm_so + i];
            if (!std::memchr(text_ + 1, f, len_ - 1))
                text_[len_++] = f;
        }
        if (!number(match, g[2], 0))
            return false;
        if (use_precision && !number(match, g[3], 1))
            return false;
        text_[len_++] = match[g[4].rm_so];
        text_[len_] = '\0';
        return true;
    }
    const char *get() const { return text_; }

private:
    // Copies the group (skipping `skip` leading characters of it for the
    // value) when its value is within the limit.
    bool number(const char *match, const regmatch_t &g, size_t skip)
    {
        size_t n = group_len(g);
        if (n == 0)
            return true;
        const char *text = match + g.rm_so;
        if (n - skip > 5) // more digits than kFieldMax has
            return false;
        unsigned long value = std::strtoul(text + skip, nullptr, 10);
        if (value > kFieldMax)
            return false;
        std::memcpy(text_ + len_, text, n);
        len_ += n;
        return true;
    }

    // '%', five distinct flags, 5 width digits, '.', 5 precision digits,
    // the conversion character and the NUL.
    char text_[1 + 5 + 5 + 1 + 5 + 1 + 1];
    size_t len_ = 0;
};

// Where a pass puts its output: pass 0 only counts, pass 1 writes into the
// result buffer and never beyond the measured length.
struct Sink {
    int pass;
    char *buf;
    size_t room; // bytes left before the terminating NUL (pass 1)
    uint64_t count;

    bool literal(const char *text, size_t n)
    {
        if (pass == 1) {
            if (n > room)
                return false;
            std::memcpy(buf, text, n);
            buf += n;
            room -= n;
        }
        count += n;
        return count <= kLengthMax;
    }

    // Formats one value with a printf directive. In pass 1 it is written
    // straight into the result (room + 1 bytes are free there, the last one
    // for the NUL that snprintf adds), so no scratch is needed.
    template <typename T> bool value(const char *directive, T v)
    {
        int n = std::snprintf(pass == 1 ? buf : nullptr, pass == 1 ? room + 1 : 0, directive, v);
        if (n < 0)
            return false;
        size_t len = static_cast<size_t>(n);
        if (pass == 1) {
            if (len > room)
                return false;
            buf += len;
            room -= len;
        }
        count += len;
        return count <= kLengthMax;
    }

    // A character conversion of the value 0: printf would put a NUL byte
    // into the text; only the padding around it is kept. The padding goes
    // through a scratch of the conversion's own size (at most kFieldMax).
    bool nul_char(const char *directive)
    {
        int n = std::snprintf(nullptr, 0, directive, 0);
        if (n < 1)
            return false;
        size_t len = static_cast<size_t>(n);
        if (pass == 0) {
            count += len - 1;
            return count <= kLengthMax;
        }
        qv::CStr scratch(static_cast<char *>(std::malloc(len + 1)));
        if (!scratch)
            return false;
        std::snprintf(scratch.get(), len + 1, directive, 0);
        const char *nul = static_cast<const char *>(std::memchr(scratch.get(), '\0', len));
        if (!nul)
            return literal(scratch.get(), len - 1);
        size_t before = static_cast<size_t>(nul - scratch.get());
        return literal(scratch.get(), before) && literal(nul + 1, len - before - 1);
    }
};

// Outputs one matched conversion and takes its argument, if any.
bool convert(Sink &out, const char *match, const regmatch_t *g, va_list ap)
{
    char conv = group_len(g[4]) ? match[g[4].rm_so] : '\0';
    Directive d;
    switch (conv) {
    case 'd':
    case 'i':
    case 'o':
    case 'u':
    case 'x':
    case 'X': {
        int v = va_arg(ap, int);
        return d.build(match, g, true) && out.value(d.get(), v);
    }
    case 'e':
    case 'E':
    case 'f':
    case 'g':
    case 'G': {
        double v = va_arg(ap, double);
        return d.build(match, g, true) && out.value(d.get(), v);
    }
    case 'c': {
        int v = va_arg(ap, int);
        if (!d.build(match, g, false))
            return false;
        return static_cast<unsigned char>(v) == 0 ? out.nul_char(d.get()) : out.value(d.get(), v);
    }
    case 's': {
        const char *v = va_arg(ap, const char *);
        if (!v)
            return out.literal("(null)", 6);
        if (group_len(g[1]) == 0 && group_len(g[2]) == 0)
            return out.literal(v, std::strlen(v));
        return d.build(match, g, false) && out.value(d.get(), v);
    }
    case '%':
        return out.literal("%", 1);
    default: // unsupported or missing conversion character: dropped
        return true;
    }
}

} // namespace

extern "C" {

int QV_instStrFormatPass(va_list args, const char *format, QV_instStrMeasure *record, int pass)
{
    Pattern re;
    if (!re.ok() || !record || (pass != 0 && pass != 1) || !format)
        return 1;

    size_t flen = std::strlen(format);
    Sink out{pass, nullptr, 0, 0};
    if (pass == 0) {
        if (flen > kLengthMax)
            return 1;
        record->length = static_cast<uint32_t>(flen);
        if (flen == 0)
            return 0;
    } else {
        size_t size = static_cast<size_t>(record->length) + 1;
        record->buffer = static_cast<char *>(std::malloc(size));
        if (!record->buffer) {
            record->length = 0;
            return 1;
        }
        record->buffer[0] = '\0';
        if (record->length == 0)
            return 0;
        out.buf = record->buffer;
        out.room = record->length;
    }

    ArgCopy ap(args);
    const char *cursor = format;
    bool ok = true;
    regmatch_t g[5];
    while (ok && *cursor) {
        if (regexec(re.get(), cursor, 5, g, 0) != 0)
            break;
        ok = out.literal(cursor, static_cast<size_t>(g[0].rm_so)) && convert(out, cursor, g, ap.ap);
        cursor += g[0].rm_eo;
    }
    if (ok)
        ok = out.literal(cursor, std::strlen(cursor));

    if (pass == 1) {
        // The writing pass must land exactly on the measured length; anything
        // else means the arguments did not format the same way twice.
        if (!ok || out.room != 0) {
            std::free(record->buffer);
            record->buffer = nullptr;
            record->length = 0;
            return 1;
        }
        *out.buf = '\0';
        return 0;
    }
    if (!ok)
        return 1;
    record->length = static_cast<uint32_t>(out.count);
    return 0;
}

char *QV_instVStrprint(const char *format, va_list args)
{
    if (!format)
        return nullptr;
    QV_instStrMeasure record{0, nullptr};
    for (int pass = 0; pass <= 1; ++pass) {
        ArgCopy ap(args);
        if (QV_instStrFormatPass(ap.ap, format, &record, pass) != 0)
            return nullptr;
    }
    return record.buffer;
}

char *QV_instStrPrint(const char *format, ...)
{
    if (!format)
        return nullptr;
    va_list ap;
    va_start(ap, format);
    char *s = QV_instVStrprint(format, ap);
    va_end(ap);
    return s;
}

char *QV_instStrConcat(char *base, ...)
{
    size_t base_len = base ? std::strlen(base) : 0;
    size_t total = base_len;
    va_list ap;
    va_start(ap, base);
    for (const char *s; (s = va_arg(ap, const char *));)
        total += std::strlen(s);
    va_end(ap);

    // realloc leaves the base untouched when it fails, as callers expect.
    char *out = static_cast<char *>(base ? std::realloc(base, total + 1) : std::malloc(total + 1));
    if (!out)
        return nullptr;
    size_t len = base_len;
    va_start(ap, base);
    for (const char *s; (s = va_arg(ap, const char *));) {
        size_t n = std::strlen(s);
        std::memcpy(out + len, s, n);
        len += n;
    }
    va_end(ap);
    out[len] = '\0';
    return out;
}

FILE *QV_instStrPopen(const char *format, const char *mode, ...)
{
    if (!format || !mode)
        return nullptr;
    va_list ap;
    va_start(ap, mode);
    qv::CStr command(QV_instVStrprint(format, ap));
    va_end(ap);
    if (!command)
        return nullptr;
    return popen(command.get(), mode);
}

int QV_instStrSystem(const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    qv::CStr command(QV_instVStrprint(format, ap));
    va_end(ap);
    if (!command)
        return 1;
    return std::system(command.get());
}

} // extern "C"
