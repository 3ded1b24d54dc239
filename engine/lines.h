// Lines of the text files the installer reads and rewrites (the history
// file, the user's menu files): whole lines whatever their length, or pieces
// of lines in bounded memory.
#pragma once

#include <stdio.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "engine/internal.h"

namespace qv {

// The most of one line the history reader keeps; no line the installer
// writes is longer (package names come from description lines).
constexpr size_t kKeptLineMax = 65536;

// The next line with its newline (the last line may lack one), of which at
// most max bytes are kept: the rest of a longer line is read and dropped,
// so that a file someone else made (a user's huge sparse file planted where
// root reads) costs bounded memory. False at the end of the file.
inline bool read_line(FILE *f, std::string &line, size_t max)
{
    line.clear();
    bool any = false;
    for (int c; (c = getc_unlocked(f)) != EOF;) {
        any = true;
        if (line.size() < max)
            line += static_cast<char>(c);
        if (c == '\n')
            break;
    }
    return any;
}

// The text between the first two double quotes of a line; false when the
// line has fewer than two.
inline bool first_quoted(const std::string &line, std::string &text)
{
    size_t open = line.find('"');
    size_t close = open == std::string::npos ? open : line.find('"', open + 1);
    if (close == std::string::npos)
        return false;
    text = line.substr(open + 1, close - open - 1);
    return true;
}

// A file read in pieces that never span two lines and never exceed the
// reader's buffer, for files that someone else may have made: a user's
// sparse file of a gigabyte without a single line break costs no more
// memory than a short one.
class LinePieces {
public:
    // At most limit bytes are read: past them the file counts as ended,
    // and over_limit() tells so. The count is of what is actually read,
    // not of a size looked up before, which a file may outgrow meanwhile.
    explicit LinePieces(FILE *f, uint64_t limit = UINT64_MAX) : f_(f), left_(limit) {}
    LinePieces(const LinePieces &) = delete;
    LinePieces &operator=(const LinePieces &) = delete;

    // The next piece (valid until the next call); lineEnds tells whether it
    // ends with its line's newline. False at the end of the file or on a
    // read error (ferror tells which).
    bool next(std::string_view &piece, bool &lineEnds)
    {
        if (pos_ == len_) {
            pos_ = 0;
            len_ = std::fread(buf_, 1, sizeof buf_, f_);
            if (len_ > left_) {
                over_ = true;
                len_ = 0;
            }
            if (len_ == 0)
                return false;
            left_ -= len_;
        }
        const char *start = buf_ + pos_;
        const void *newline = std::memchr(start, '\n', len_ - pos_);
        size_t n = newline ? static_cast<size_t>(static_cast<const char *>(newline) - start) + 1 : len_ - pos_;
        piece = std::string_view(start, n);
        lineEnds = newline != nullptr;
        pos_ += n;
        return true;
    }

    bool over_limit() const { return over_; }

private:
    FILE *f_;
    uint64_t left_;
    bool over_ = false;
    char buf_[16384];
    size_t pos_ = 0;
    size_t len_ = 0;
};

} // namespace qv
