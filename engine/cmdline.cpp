// The command line: options, the root check, and the installation of
// configuration 3 without dialogs (-cmdline), with its text-mode progress.
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/cdinst.h"
#include "engine/driver.h"
#include "engine/install.h"
#include "engine/internal.h"
#include "engine/ownership.h"
#include "engine/util.h"

namespace {

// Configuration that a command-line installation installs.
constexpr int kCommandLineConfig = 3;

// The figure the status line shows now; negative before the first.
double g_shownFigure = -1;

[[noreturn]] void fail(const char *format, const char *arg = nullptr)
{
    std::fprintf(stderr, format, arg);
    std::exit(1);
}

char *copy_or_fail(const char *arg)
{
    char *copy = strdup(arg);
    if (!copy)
        fail("Error: duplicating '%s'\n", arg);
    return copy;
}

// The path of the program, whose folder holds the description and the
// modules. A program started through a PATH lookup has no folder in its
// argument 0; the folder that holds it is then the one the system ran it
// from, not the caller's working folder.
std::string program_path(const char *argv0)
{
    if (std::strchr(argv0, '/'))
        return argv0;
    char buf[QV_PATH_MAX + 1];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof buf - 1)
        return argv0;
    return std::string(buf, static_cast<size_t>(n));
}

// The root destination as given on the command line, made absolute against
// the working folder: the installation changes folder on its way, and the
// registry commands and the user's menu include need the whole path.
char *absolute_root(const char *arg)
{
    if (arg[0] == '/' || arg[0] == '\0')
        return copy_or_fail(arg);
    qv::CStr cwd(getcwd(nullptr, 0));
    char *root = cwd ? QV_instStrPrint("%s/%s", cwd.get(), arg) : nullptr;
    if (!root)
        fail("Error: duplicating '%s'\n", arg);
    return root;
}

// "<root>/<ProductDirectory>/" with single slashes, or NULL without a root
// or a product directory.
qv::CStr destination_of(const _QV_instCDinst *cdinst)
{
    if (!cdinst->rootDest || !*cdinst->rootDest || !cdinst->productDir)
        return nullptr;
    qv::CStr dest(QV_instStrPrint("%s/%s/", cdinst->rootDest, cdinst->productDir));
    if (dest)
        QV_instRemoveExtraSlash(dest.get());
    return dest;
}

// A run over a complete installation installs nothing; the user learns
// why, and which file says so.
void say_when_nothing_to_install(_QV_InstConfigList *config)
{
    if (qv::packages_affected(CDInstPtr, config) != 0)
        return;
    // The history may have been found in the installation the program runs
    // from, which moved the root destination.
    qv::CStr history(QV_instStrPrint("%s/SetupFiles/%s", GetDestinationDirectory(CDInstPtr),
                                     QV_instGetHistoryFile()));
    if (history)
        QV_instRemoveExtraSlash(history.get());
    std::fprintf(stderr, "Nothing to install: the history file %s lists every selected package as installed\n",
                 history ? history.get() : "");
}

// Installs configuration 3 of the description with everything under it
// selected. The exit status is 1 when the run could not be started or
// reported a failure, 0 after a clean run.
[[noreturn]] void install_from_command_line(char *cdinstPath, char *rootDest)
{
    // Output piped into a reader that stops early (| head) must not end
    // the installation half way: writes to it fail instead, and the
    // progress is then no longer printed.
    signal(SIGPIPE, SIG_IGN);
    int status = 0;
    CDInstPtr = QV_instReadCDinst(cdinstPath, QV_instShowParseProgress);
    if (!CDInstPtr) {
        std::fprintf(stderr, "Error: reading %s\n", cdinstPath);
        std::free(rootDest);
        std::free(cdinstPath);
        std::exit(1);
    }
    std::fputs("\n", stdout);

    // In this mode the command line's root always wins over the
    // description's InstallDirectory; the description owns it from here.
    std::free(CDInstPtr->rootDest);
    CDInstPtr->rootDest = rootDest;

    // As root, nothing is read from or written into a tree that another
    // user controls, not even its history.
    const std::string refusal = qv::tree_refusal(CDInstPtr->rootDest, CDInstPtr->productDir);
    if (!refusal.empty()) {
        std::fprintf(stderr, "Error: %s\n", refusal.c_str());
        std::free(cdinstPath);
        std::exit(1);
    }

    _QV_InstConfigList *config = QV_instGetConfigFromId(CDInstPtr, kCommandLineConfig);
    QV_instMarkAllConfig(config, 1);

    if (QV_instSetSizes(CDInstPtr) == -1) {
        std::fputs("Error: during setting installation size\n", stderr);
        status = 1;
    } else {
        qv::CStr destination = destination_of(CDInstPtr);
        qv::install_run().historyFound = QV_UpdateSuiteHistory(CDInstPtr, config, CDInstPtr->firstSuite,
                                                               destination.get(), CDInstPtr->productName,
                                                               CDInstPtr->productVersion) != 0;
        if (qv::install_run().historyFound)
            say_when_nothing_to_install(config);
        if (QV_instCommandLineInstall(CDInstPtr, config, 0) != 0) {
            std::fputs("Error: during installation\n", stderr);
            status = 1;
        } else {
            QV_instFreeCDinst(CDInstPtr);
            CDInstPtr = nullptr;
            // The errors were printed as they came; the exit status tells
            // the caller that the installation is not complete, and a
            // failure that came without an error line is still named.
            status = qv::install_run().errorFlag ? 1 : 0;
            if (status && !qv::install_run().errorPrinted)
                std::fputs("Setup did not complete successfully\n", stderr);
        }
    }
    std::free(cdinstPath);
    std::exit(status);
}

} // namespace

namespace qv {

std::string warning_of(const char *line)
{
    if (std::strncmp(line, "Warning:", 8) == 0)
        return line;
    if (line[0] != '0')
        return "";
    char *rest = nullptr;
    std::strtoll(line, &rest, 10);
    return std::string("Warning: ") + (rest + std::strspn(rest, " \t"));
}

void end_status_line()
{
    // The terminal echoed the user's ^C over the start of the line, where
    // the carriage return left the cursor: the figure is shown again whole.
    if (g_shownFigure >= 0 && isatty(STDOUT_FILENO) && !std::ferror(stdout))
        std::printf("\rStatus:%6.2f%%", g_shownFigure);
    std::fputs("\n", stdout);
    std::fflush(stdout);
}

} // namespace qv

extern "C" {

const char *QV_instVersionStamp = "Setup Version=1125-16:14";

// Parses the command line and enforces the root check. Without -cmdline it
// hands the description path and the root destination back to main; with
// -cmdline it installs and ends the process.
void QV_instProcessArgs(int argc, char **argv, char **cdinstPath, char **rootDest)
{
    *cdinstPath = nullptr;
    *rootDest = nullptr;
    const std::string programPath = program_path(argc > 0 && argv[0] ? argv[0] : "");
    const char *program = programPath.c_str();

    {
        qv::CStr running(QV_instGetRealPath(program));
        if (!running)
            fail("Error: can't get directory of %s\n", program);
        QV_instSetRunningDirectory(running.get());
    }

    bool rootCheck = std::getenv("QVINST_NOROOT") == nullptr;
    bool commandLine = false;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (std::strcmp(arg, "-v") == 0 || std::strcmp(arg, "-version") == 0) {
            std::fprintf(stderr, "%s\n", QV_instVersionStamp);
            std::exit(1);
        } else if (std::strcmp(arg, "-noroot") == 0) {
            rootCheck = false;
        } else if (std::strcmp(arg, "-cmdline") == 0) {
            commandLine = true;
        } else if (std::strcmp(arg, "-dest") == 0) {
            if (i + 1 >= argc)
                fail("Error: option -dest requires an argument\n");
            std::free(*rootDest);
            *rootDest = absolute_root(argv[++i]);
            // Paths travel in line-based formats (the menu include line, the
            // history, the child's protocol lines): a line break would split
            // them.
            if (std::strchr(*rootDest, '\n'))
                fail("Error: option -dest: the destination folder must not contain a line break\n");
        } else if (std::strcmp(arg, "-from") == 0) {
            if (i + 1 >= argc)
                fail("Error: option -from requires an argument\n");
            std::free(*cdinstPath);
            *cdinstPath = copy_or_fail(argv[++i]);
            qv::CStr dir(QV_instDirname(*cdinstPath));
            if (!dir || QV_instSetCdinstDirectory(dir.get()) != 0)
                std::fputs("Error: QV_instSetCdinstDirectory fatal error\n", stderr);
        } else {
            fail("Error: invalid option '%s'\n", arg);
        }
    }

    if (rootCheck && getuid() != 0)
        fail("Error: you need to be root to run this program\n");

    if (!*cdinstPath) {
        qv::CStr dir(QV_instDirname(program));
        if (!dir)
            fail("Error: can't get dirname of %s\n", program);
        *cdinstPath = QV_instStrPrint("%s%s", dir.get(), "cdinst.dat");
        if (!*cdinstPath)
            fail("Error: out of memory\n");
        if (QV_instSetCdinstDirectory(dir.get()) != 0)
            std::fputs("Error: QV_instSetCdinstDirectory fatal error\n", stderr);
    }
    if (!*rootDest) {
        *rootDest = strdup("/usr/Quorvanta/");
        if (!*rootDest)
            fail("Error: building default installation path\n");
    }

    if (commandLine)
        install_from_command_line(*cdinstPath, *rootDest);
}

// Text-mode reader of one protocol line: progress advances the figure,
// errors and warnings are printed as they come. A NULL or empty line starts
// a new run.
void QV_instProcessUpdate(char *line, uint64_t total)
{
    static uint64_t sum = 0;
    if (!line || !*line) {
        sum = 0;
        g_shownFigure = -1;
        return;
    }
    char *rest = nullptr;
    long long count = std::strtoll(line, &rest, 10);
    if (count < 0) {
        rest += std::strspn(rest, " \t");
        // Some error lines carry the prefix already ("-1 Error: adding
        // rootkey=..."); it is not said twice.
        const bool prefixed = std::strncmp(rest, "Error: ", 7) == 0;
        std::fprintf(stderr, "%s%s\n", prefixed ? "" : "Error: ", rest);
        qv::install_run().errorPrinted = true;
        return;
    }
    // Warnings count nothing, but a headless run must still say what it
    // skipped (registry steps without a display, a file it could not make).
    const std::string warning = qv::warning_of(line);
    if (!warning.empty())
        std::fprintf(stderr, "%s\n", warning.c_str());

    sum += static_cast<uint64_t>(count);
    // Once a write to the standard output has failed (its reader is gone)
    // the progress is no longer printed; the installation goes on.
    if (std::ferror(stdout))
        return;
    // Nothing to do counts as done; double keeps totals beyond 4 GiB exact
    // enough for two decimals. A file larger than the description can say
    // (its sizes stop at 2147483647) or one that grew on the medium
    // reports more than its share: the figure stops at 100.
    double percent = total ? static_cast<double>(sum) / static_cast<double>(total) * 100.0 : 100.0;
    g_shownFigure = std::min(percent, 100.0);
    std::printf("Status:%6.2f%%\r", g_shownFigure);
    std::fflush(stdout);
}

// Per-line callback of the description reader in text mode: a spinner.
void QV_instShowParseProgress(void)
{
    static const char spinner[] = {'|', '/', '-', '\\'};
    static unsigned counter = 0;
    std::printf("Parsing config file [%c]\r", spinner[counter % 4]);
    ++counter;
    std::fflush(stdout);
}

} // extern "C"
