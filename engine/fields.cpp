// Reading the setup description's text: logical lines with backslash
// continuation, and the three kinds of field (word, quoted string,
// integer) that every line is made of.
#include <sys/types.h>

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "engine/cdinst.h"

namespace {

bool is_word_char(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Index of the word in a NULL-terminated keyword table, or -1.
int index_in(const char *const *list, const char *word)
{
    if (!word || !*word)
        return -1;
    for (int i = 0; list[i]; ++i)
        if (std::strcmp(list[i], word) == 0)
            return i;
    return -1;
}

// A malloc'ed text that grows geometrically, so a logical line made of
// many continued pieces is still gathered in linear time.
struct Gather {
    char *text = nullptr;
    size_t length = 0;
    size_t capacity = 0;

    bool append(const char *piece, size_t n)
    {
        if (length + n + 1 > capacity) {
            size_t want = capacity ? capacity : 128;
            while (want < length + n + 1)
                want *= 2;
            char *grown = static_cast<char *>(std::realloc(text, want));
            if (!grown)
                return false;
            text = grown;
            capacity = want;
        }
        std::memcpy(text + length, piece, n);
        length += n;
        text[length] = '\0';
        return true;
    }
    char *release()
    {
        char *t = text;
        text = nullptr;
        return t;
    }
    ~Gather() { std::free(text); }
};

// Pieces above this size are not kept between calls.
constexpr size_t kKeepPieceBuffer = 1 << 20;

} // namespace

extern "C" {

// Physical lines may have any length: each one is read whole with getline
// into a buffer kept between calls (one reader at a time). A NUL byte in a
// physical line ends its text there.
char *QV_instGetline(FILE *stream, int *lineNo)
{
    static char *piece = nullptr;
    static size_t pieceCapacity = 0;

    if (!stream || std::feof(stream))
        return nullptr;

    Gather line;
    bool first = true;
    char *result = nullptr;
    for (;;) {
        ssize_t n = getline(&piece, &pieceCapacity, stream);
        if (n < 0) {
            // The previous line ended the file with its newline: one last
            // empty line. A continuation that finds nothing more is dropped.
            // A read error is no end of file: the stream never reaches its
            // end, and an empty line for it would be handed out for ever.
            if (first && !std::ferror(stream))
                result = strdup("");
            break;
        }
        first = false;
        bool newline = piece[n - 1] == '\n';
        size_t len = strnlen(piece, newline ? size_t(n) - 1 : size_t(n));
        if (!line.append(piece, len))
            break;
        if (lineNo)
            ++*lineNo;
        if (!newline) {
            // The end of the file (or a read error) came before a newline:
            // the text is kept as it is, a final backslash included.
            result = line.release();
            break;
        }
        if (line.length > 0 && line.text[line.length - 1] == '\\') {
            line.text[line.length - 1] = ' ';
            continue;
        }
        result = line.release();
        break;
    }
    if (pieceCapacity > kKeepPieceBuffer) {
        std::free(piece);
        piece = nullptr;
        pieceCapacity = 0;
    }
    return result;
}

int checkToken(const char *word, const char **list, int caseSensitive)
{
    if (!word)
        return 0;
    if (!list || !list[0])
        return 1;
    for (const char **entry = list; *entry; ++entry) {
        int diff = caseSensitive ? std::strcmp(*entry, word) : strcasecmp(*entry, word);
        if (diff == 0)
            return 1;
    }
    return 0;
}

char *getToken(char *text, const char **list, char **rest, int caseSensitive)
{
    if (!text) {
        if (rest)
            *rest = text;
        return nullptr;
    }
    char *p = text;
    while (*p && !is_word_char(*p))
        ++p;
    char *start = p;
    while (*p && is_word_char(*p))
        ++p;
    if (rest)
        *rest = p;
    if (p == start)
        return nullptr;
    char *word = strndup(start, size_t(p - start));
    if (word && !checkToken(word, list, caseSensitive)) {
        std::free(word);
        return nullptr;
    }
    return word;
}

char **getTokenList(char *text, const char **list, int caseSensitive)
{
    size_t count = 0, capacity = 8;
    char **words = static_cast<char **>(std::calloc(capacity, sizeof(char *)));
    if (!words) {
        std::fputs("Out of memory\n", stderr);
        return nullptr;
    }
    char *rest = text;
    while (rest && *rest) {
        // Words outside the list are skipped, so take every word first and
        // filter it here; getToken alone cannot tell "not in the list" from
        // "no word left".
        char *word = getToken(rest, nullptr, &rest, 1);
        if (!word) {
            if (!*rest)
                break; // no word left
            freeTokenList(words);
            std::fputs("Out of memory\n", stderr);
            return nullptr;
        }
        if (!checkToken(word, list, caseSensitive)) {
            std::free(word);
            continue;
        }
        if (count + 1 >= capacity) {
            char **grown = static_cast<char **>(std::realloc(words, 2 * capacity * sizeof(char *)));
            if (!grown) {
                std::free(word);
                freeTokenList(words);
                std::fputs("Out of memory\n", stderr);
                return nullptr;
            }
            words = grown;
            capacity *= 2;
        }
        words[count++] = word;
        words[count] = nullptr;
    }
    return words;
}

// A backslash keeps the character after it from opening or closing the
// string and stays in the value; only "\n" is translated.
char *getQuotedString(char *text, char **rest)
{
    if (rest)
        *rest = text;
    if (!text)
        return nullptr;
    char *p = text;
    while (*p && *p != '"')
        p += (p[0] == '\\' && p[1]) ? 2 : 1;
    if (!*p)
        return strdup("");
    char *start = ++p;
    while (*p && *p != '"')
        p += (p[0] == '\\' && p[1]) ? 2 : 1;
    if (!*p) {
        if (rest)
            *rest = p;
        return nullptr;
    }
    size_t length = size_t(p - start);
    char *value = static_cast<char *>(std::malloc(length + 1));
    if (!value)
        return nullptr;
    size_t out = 0;
    for (size_t i = 0; i < length; ++i) {
        if (start[i] == '\\' && i + 1 < length && start[i + 1] == 'n') {
            value[out++] = '\n';
            ++i;
        } else {
            value[out++] = start[i];
        }
    }
    value[out] = '\0';
    if (rest)
        *rest = p + 1;
    return value;
}

// The field is the next run of decimal digits; a leading 0 reads it as
// octal up to its first 8 or 9 ("08" is 0). Numbers of the format are at
// most 2147483647: a longer run is clamped there rather than overflowing.
int getInteger(char *text, char **rest)
{
    if (!text) {
        if (rest)
            *rest = text;
        return 0;
    }
    char *p = text;
    while (*p && !is_digit(*p))
        ++p;
    char *start = p;
    while (is_digit(*p))
        ++p;
    if (rest)
        *rest = p;
    if (p == start)
        return 0;
    int base = *start == '0' ? 8 : 10;
    long long value = 0;
    for (char *q = start; q < p; ++q) {
        int digit = *q - '0';
        if (digit >= base)
            break;
        value = value * base + digit;
        if (value > INT_MAX)
            return INT_MAX;
    }
    return int(value);
}

int getIconInfo(_QV_InstConfigList *config, char *text, char **rest)
{
    char *field = getQuotedString(text, rest);
    if (!field)
        return -1;
    if (!*field) {
        std::free(field);
        return 0;
    }
    char *comma = std::strchr(field, ',');
    if (!comma || !config) {
        std::free(field);
        return -1;
    }
    auto *icon = static_cast<_QV_InstIcon *>(std::calloc(1, sizeof(_QV_InstIcon)));
    if (icon) {
        icon->module = strndup(field, size_t(comma - field));
        icon->symbol = strdup(comma + 1);
    }
    std::free(field);
    if (!icon || !icon->module || !icon->symbol) {
        if (icon) {
            std::free(icon->module);
            std::free(icon->symbol);
            std::free(icon);
        }
        return -1;
    }
    if (config->icon) {
        std::free(config->icon->module);
        std::free(config->icon->symbol);
        std::free(config->icon);
    }
    config->icon = icon;
    return 0;
}

int getOperType(const char *word) { return index_in(QVInstOperTkList, word); }

int getConfigType(const char *word) { return index_in(QVInstConfigTkList, word); }

int isWhiteOrCommentLine(const char *line)
{
    if (!line)
        return 1;
    while (*line && std::isspace(static_cast<unsigned char>(*line)))
        ++line;
    return *line == '\0' || *line == '#';
}

} // extern "C"
