// The "::" compound-string syntax of the builder layer and the two resource
// converters (String to XmString and String to XmStringTable) built on it.
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include <Xm/Xm.h>

#include "wizard/bx.h"
#include "wizard/bx_segment.h"

namespace {

// The characters the syntax gives a meaning to, as wide characters of the
// locale in force when the first "::" text is read.
struct Specials {
    wchar_t nul, tab, newline, cr, ff, vt;
    wchar_t backslash, quote, hash, colon;
    wchar_t sepT, sepTU, sep1, noF, noFU, no0;
    wchar_t dirL, dirLU, dirR, dirRU;
    wchar_t escN, escV;
};

wchar_t wide_of(const char *one)
{
    wchar_t wc = 0;
    if (std::mbtowc(&wc, one, std::strlen(one) + 1) < 0)
        wc = static_cast<unsigned char>(one[0]);
    return wc;
}

const Specials &specials()
{
    static const Specials table = {
        wide_of(""),  wide_of("\t"), wide_of("\n"), wide_of("\r"), wide_of("\f"), wide_of("\v"),
        wide_of("\\"), wide_of("\""), wide_of("#"), wide_of(":"),
        wide_of("t"), wide_of("T"), wide_of("1"), wide_of("f"), wide_of("F"), wide_of("0"),
        wide_of("l"), wide_of("L"), wide_of("r"), wide_of("R"),
        wide_of("n"), wide_of("v"),
    };
    return table;
}

// Bytes that are no valid character of the locale are carried through the
// wide text as this base plus the byte (lone surrogates, which no locale
// decodes to), so that they come back unchanged instead of spoiling the text.
constexpr wchar_t kRawByte = 0xDC00;

std::wstring widen(const char *text)
{
    std::wstring out;
    const size_t length = std::strlen(text);
    out.reserve(length);
    std::mbstate_t state{};
    size_t i = 0;
    while (i < length) {
        wchar_t wc = 0;
        const size_t n = std::mbrtowc(&wc, text + i, length - i, &state);
        if (n == static_cast<size_t>(-1) || n == static_cast<size_t>(-2) || n == 0) {
            out += static_cast<wchar_t>(kRawByte + static_cast<unsigned char>(text[i]));
            state = std::mbstate_t{};
            ++i;
            continue;
        }
        out += wc;
        i += n;
    }
    return out;
}

// The multibyte form of n wide characters; false when one of them has none.
bool narrow(const wchar_t *w, size_t n, std::string &out)
{
    out.clear();
    std::mbstate_t state{};
    char buf[MB_LEN_MAX];
    for (size_t i = 0; i < n; ++i) {
        if (w[i] >= kRawByte && w[i] <= kRawByte + 0xff) {
            out += static_cast<char>(w[i] - kRawByte);
            continue;
        }
        const size_t k = std::wcrtomb(buf, w[i], &state);
        if (k == static_cast<size_t>(-1))
            return false;
        out.append(buf, k);
    }
    return true;
}

// Length in bytes of the character at text (1 for a byte that starts none).
size_t char_length(const char *text, size_t left)
{
    std::mbstate_t state{};
    const size_t n = std::mbrlen(text, left, &state);
    if (n == static_cast<size_t>(-1) || n == static_cast<size_t>(-2) || n == 0)
        return 1;
    return n;
}

// From p to the first unescaped character equal to one of the stops, or to
// the end of the text. A backslash hides the character after it.
const wchar_t *scan_to(const wchar_t *p, wchar_t stop1, wchar_t stop2, wchar_t stop3)
{
    const Specials &s = specials();
    while (*p != s.nul) {
        if (*p == s.backslash) {
            ++p;
            if (*p == s.nul)
                break;
            ++p;
            continue;
        }
        if (*p == stop1 || *p == stop2 || *p == stop3)
            break;
        ++p;
    }
    return p;
}

std::wstring unescape(const wchar_t *text, size_t length)
{
    const Specials &s = specials();
    std::wstring out;
    out.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        if (text[i] != s.backslash || i + 1 == length) {
            out += text[i];
            continue;
        }
        const wchar_t c = text[++i];
        if (c == s.escN)
            out += s.newline;
        else if (c == s.sepT)
            out += s.tab;
        else if (c == s.dirR)
            out += s.cr;
        else if (c == s.noF)
            out += s.ff;
        else if (c == s.escV)
            out += s.vt;
        else
            out += c; // a doubled backslash and any other escaped character
    }
    return out;
}

// Joins the components in order into one compound string, pairwise round
// after round: appending each to the whole string so far would copy that
// string every time, which is quadratic in the number of segments.
XmString join(std::vector<XmString> &parts)
{
    while (parts.size() > 1) {
        std::vector<XmString> joined;
        joined.reserve((parts.size() + 1) / 2);
        for (size_t i = 0; i + 1 < parts.size(); i += 2) {
            joined.push_back(XmStringConcat(parts[i], parts[i + 1]));
            XmStringFree(parts[i]);
            XmStringFree(parts[i + 1]);
        }
        if (parts.size() % 2)
            joined.push_back(parts.back());
        parts.swap(joined);
    }
    XmString result = parts.empty() ? nullptr : parts.front();
    parts.clear();
    return result;
}

// The converters' answer when Xt gives no storage of its own; each converter
// keeps its last result here.
XmString g_lastXmString;
XmStringTable g_lastXmStringTable;

template <typename T>
Boolean store(Display *display, XrmValuePtr from, XrmValuePtr to, T value, T &staticValue, const char *type)
{
    if (to->addr == nullptr) {
        staticValue = value;
        to->addr = reinterpret_cast<XPointer>(&staticValue);
        to->size = sizeof(T);
        return True;
    }
    if (to->size >= sizeof(T)) {
        *reinterpret_cast<T *>(to->addr) = value;
        to->size = sizeof(T);
        return True;
    }
    to->size = sizeof(T);
    XtDisplayStringConversionWarning(display, from->addr, type);
    return False;
}

void warn_extra_arguments(Display *display, Cardinal *numArgs, const char *name, const char *text)
{
    if (numArgs && *numArgs != 0)
        XtAppWarningMsg(XtDisplayToApplicationContext(display), name, "wrongParameters", "XtToolkitError", text,
                        nullptr, nullptr);
}

} // namespace

extern "C" {

Boolean cvtNextSegment(const wchar_t **position, BxSegment *segment)
{
    const Specials &s = specials();
    *segment = BxSegment{nullptr, 0, nullptr, 0, False, 0};
    const wchar_t *p = *position;

    // Text that opens with none of the three markers is one plain segment.
    if (*p != s.nul && *p != s.hash && *p != s.quote && *p != s.colon) {
        const size_t length = std::wcslen(p);
        segment->text = p;
        segment->textLength = length;
        *position = p + length;
        return False;
    }

    auto is_dir = [&s](wchar_t c) { return c == s.dirL || c == s.dirLU || c == s.dirR || c == s.dirRU; };
    auto dir_of = [&s](wchar_t c) { return (c == s.dirR || c == s.dirRU) ? 1 : 0; };
    bool hadGroup = false;
    while (*p != s.nul) {
        if (*p == s.hash) {
            if (segment->tag)
                break; // a second tag begins the next segment
            const wchar_t *start = p + 1;
            p = scan_to(start, s.hash, s.quote, s.colon);
            if (p > start) {
                segment->tag = start;
                segment->tagLength = static_cast<size_t>(p - start);
            }
        } else if (*p == s.quote) {
            const wchar_t *start = p + 1;
            p = scan_to(start, s.quote, s.quote, s.quote);
            segment->text = start;
            segment->textLength = static_cast<size_t>(p - start);
            if (*p == s.quote)
                ++p;
            break;
        } else if (*p == s.colon) {
            if (hadGroup)
                break; // a second group begins the next segment
            hadGroup = true;
            const wchar_t c = p[1];
            if (c == s.sepT || c == s.sepTU || c == s.sep1 || c == s.noF || c == s.noFU || c == s.no0) {
                segment->separator = (c == s.sepT || c == s.sepTU || c == s.sep1) ? True : False;
                p += 2;
                if (p[0] == s.colon && is_dir(p[1])) {
                    segment->direction = dir_of(p[1]);
                    p += 2;
                }
            } else if (is_dir(c)) {
                segment->direction = dir_of(c);
                p += 2;
            } else {
                ++p;
            }
        } else if (*p == s.backslash) {
            ++p;
            if (*p != s.nul)
                ++p;
        } else {
            ++p;
        }
    }
    *position = p;
    return *p != s.nul ? True : False;
}

XmString cvtParseCompoundString(const char *text)
{
    if (!text)
        return nullptr;
    const std::wstring wide = widen(text);
    std::vector<XmString> parts{XmStringDirectionCreate(XmSTRING_DIRECTION_L_TO_R)};
    int direction = XmSTRING_DIRECTION_L_TO_R;

    const wchar_t *position = wide.c_str();
    std::string mbText;
    std::string mbTag;
    BxSegment seg;
    Boolean more;
    do {
        more = cvtNextSegment(&position, &seg);
        if (seg.direction != direction) {
            direction = seg.direction;
            parts.push_back(XmStringDirectionCreate(static_cast<XmStringDirection>(direction)));
        }
        if (seg.textLength > 0) {
            const std::wstring plain = unescape(seg.text, seg.textLength);
            if (!narrow(plain.data(), plain.size(), mbText))
                mbText.clear();
            if (!seg.tag || !narrow(seg.tag, seg.tagLength, mbTag))
                mbTag.clear();
            parts.push_back(XmStringCreate(const_cast<char *>(mbText.c_str()), const_cast<char *>(mbTag.c_str())));
        }
        if (seg.separator)
            parts.push_back(XmStringSeparatorCreate());
    } while (more);
    return join(parts);
}

Boolean cvtStringToXmString(Display *display, XrmValuePtr, Cardinal *numArgs, XrmValuePtr from, XrmValuePtr to,
                            XtPointer *)
{
    warn_extra_arguments(display, numArgs, "cvtStringToXmString",
                         "String to XmString converter needs no extra arguments");
    const char *text = from->addr ? reinterpret_cast<const char *>(from->addr) : "";
    XmString value = (text[0] == ':' && text[1] == ':')
                         ? cvtParseCompoundString(text + 2)
                         : XmStringCreateLtoR(const_cast<char *>(text), const_cast<char *>(""));
    if (store(display, from, to, value, g_lastXmString, "XmString"))
        return True;
    XmStringFree(value);
    return False;
}

Boolean cvtStringToXmStringTable(Display *display, XrmValuePtr, Cardinal *numArgs, XrmValuePtr from,
                                 XrmValuePtr to, XtPointer *)
{
    warn_extra_arguments(display, numArgs, "cvtStringToXmStringTable",
                         "String to XmStringTable converter needs no extra arguments");
    const char *text = from->addr ? reinterpret_cast<const char *>(from->addr) : "";

    // Items are cut at commas and newlines outside double quotes; a
    // backslash makes the next (multibyte) character ordinary. Each item is
    // kept as it stands and may itself use the "::" syntax.
    std::vector<std::string> items;
    const size_t length = std::strlen(text);
    if (length > 0) {
        std::string item;
        bool quoted = false;
        size_t i = 0;
        while (i < length) {
            size_t n = char_length(text + i, length - i);
            const char c = text[i];
            if (n == 1 && c == '\\' && i + 1 < length)
                n += char_length(text + i + 1, length - i - 1);
            else if (n == 1 && c == '"')
                quoted = !quoted;
            else if (n == 1 && (c == ',' || c == '\n') && !quoted) {
                items.push_back(item);
                item.clear();
                ++i;
                continue;
            }
            item.append(text + i, n);
            i += n;
        }
        items.push_back(item);
    }

    auto table = reinterpret_cast<XmStringTable>(XtMalloc(static_cast<Cardinal>((items.size() + 1) * sizeof(XmString))));
    Cardinal none = 0;
    for (size_t k = 0; k < items.size(); ++k) {
        XrmValue itemFrom{static_cast<unsigned int>(items[k].size() + 1), const_cast<char *>(items[k].c_str())};
        XrmValue itemTo{sizeof(XmString), reinterpret_cast<XPointer>(&table[k])};
        // The entry is large enough for an XmString, so this cannot fail.
        cvtStringToXmString(display, nullptr, &none, &itemFrom, &itemTo, nullptr);
    }
    table[items.size()] = nullptr;

    if (store(display, from, to, table, g_lastXmStringTable, "XmStringTable"))
        return True;
    for (XmString *entry = table; *entry; ++entry)
        XmStringFree(*entry);
    XtFree(reinterpret_cast<char *>(table));
    return False;
}

void cvtXmStringDestroy(XtAppContext, XrmValuePtr to, XtPointer, XrmValuePtr, Cardinal *)
{
    if (to && to->addr)
        XmStringFree(*reinterpret_cast<XmString *>(to->addr));
}

void cvtXmStringTableDestroy(XtAppContext, XrmValuePtr to, XtPointer, XrmValuePtr, Cardinal *)
{
    if (!to || !to->addr)
        return;
    XmStringTable table = *reinterpret_cast<XmStringTable *>(to->addr);
    if (!table)
        return;
    for (XmString *entry = table; *entry; ++entry)
        XmStringFree(*entry);
    XtFree(reinterpret_cast<char *>(table));
}

// The converters cache nothing: every conversion makes a fresh value, which
// belongs to whoever asked for it (CONVERT's callers free their XmStrings).
// The destructors are not handed to Xt: with XtCacheNone it never calls
// them, yet for a converter with a destructor it keeps a cache record of
// every single conversion for the rest of the run, so each label update
// would cost memory for good.
void RegisterBxConverters(XtAppContext app)
{
    XtAppSetTypeConverter(app, XmRString, XmRXmString, cvtStringToXmString, nullptr, 0, XtCacheNone, nullptr);
    XtAppSetTypeConverter(app, XmRString, XmRXmStringTable, cvtStringToXmStringTable, nullptr, 0, XtCacheNone,
                          nullptr);
}

} // extern "C"
