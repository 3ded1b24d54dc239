// The user and reseller information files: a few values typed in the wizard,
// one a line, kept under /usr/tmp from one run of setup to the next.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace qv {

inline constexpr const char kUserInfoFile[] = ".setupinfo-qv-user";
inline constexpr const char kResellerInfoFile[] = ".setupinfo-qv-reseller";

// The folder that holds the information files, "/usr/tmp". Test-only
// override: tests point it at a scratch folder so that they never write
// the real /usr/tmp.
std::string &info_file_folder();

// The first `count` values of the named file, each line read back whole
// (its newline removed); lines that are missing give empty values. None
// when the file is missing, unreadable or refused (see write_info_file).
std::optional<std::vector<std::string>> read_info_file(const char *name, std::size_t count);

// Writes each value followed by "\n" (a line break inside a value becomes a
// blank), replacing what the file held. The folder is writable by everyone
// and setup usually runs as root, so a name that is a symbolic link, a
// special file, a file with other links or one owned by someone else is
// refused and left as it is. A new file gets mode 0644 (less the umask).
// Returns true when the file was written.
bool write_info_file(const char *name, const std::vector<std::string> &values);

} // namespace qv
