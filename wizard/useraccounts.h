// The user accounts that the per-user update dialog offers and updates:
// their names from the password file and the NIS map, gathered without a
// shell or scratch files, and the lookup of one account.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace qv {

// Where the accounts come from. The defaults are the system's; tests point
// them at scratch files so that they never read or write real accounts.
struct AccountSources {
    // Test-only: a password file that replaces the system's account
    // database both for the list and for the lookup. Empty: the list reads
    // /etc/passwd and the lookup asks getpwnam.
    std::string passwdFile;
    // Test-only: a folder put in front of every account's home folder.
    std::string homeRoot;
    std::string ypwhich = "/usr/bin/ypwhich";
    std::string ypcat = "/usr/bin/ypcat";
};
AccountSources &account_sources();

// One account as the update needs it.
struct Account {
    std::string name;
    std::string home; // with the test-only home root in front
    uid_t uid = 0;
    gid_t gid = 0;
};

// Looks an account up by name; false when there is none.
bool find_account(const char *name, Account &account);

// Appends the account names of password-file text to names: of each line,
// what comes before the first '#', then before the first ':', then before
// the first '+', split into words at white space. So comments and NIS
// inclusion lines ("+...") give nothing.
void collect_account_names(const std::string &passwdText, std::vector<std::string> &names);

// Every account name of the local password file and, on a NIS client, of
// the NIS password map; sorted, each name once.
std::vector<std::string> account_names();

// Runs the program at path with argv (no shell, nothing of the caller's
// text in a command line) and collects its standard output, and its
// standard error too when withStderr is set. False when it cannot be run.
bool program_output(const std::string &path, const std::vector<std::string> &argv, bool withStderr,
                    std::string &out);

} // namespace qv
