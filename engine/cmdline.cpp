// The command line: options, the root check, and the installation of
// configuration 3 without dialogs (-cmdline), with its text-mode progress.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/cdinst.h"
#include "engine/driver.h"
#include "engine/install.h"
#include "engine/internal.h"
#include "engine/util.h"

namespace {

// Configuration that a command-line installation installs.
constexpr int kCommandLineConfig = 3;

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

// Installs configuration 3 of the description with everything under it
// selected. The exit status is 1 when the run could not be started or
// reported a failure, 0 after a clean run.
[[noreturn]] void install_from_command_line(char *cdinstPath, char *rootDest)
{
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

    _QV_InstConfigList *config = QV_instGetConfigFromId(CDInstPtr, kCommandLineConfig);
    QV_instMarkAllConfig(config, 1);

    if (QV_instSetSizes(CDInstPtr) == -1) {
        std::fputs("Error: during setting installation size\n", stderr);
        status = 1;
    } else {
        qv::CStr destination = destination_of(CDInstPtr);
        QV_UpdateSuiteHistory(CDInstPtr, config, CDInstPtr->firstSuite, destination.get(),
                              CDInstPtr->productName, CDInstPtr->productVersion);
        if (QV_instCommandLineInstall(CDInstPtr, config, 0) != 0) {
            std::fputs("Error: during installation\n", stderr);
            status = 1;
        } else {
            QV_instFreeCDinst(CDInstPtr);
            CDInstPtr = nullptr;
            // The errors were printed as they came; the exit status tells
            // the caller that the installation is not complete.
            status = qv::install_run().errorFlag ? 1 : 0;
        }
    }
    std::free(cdinstPath);
    std::exit(status);
}

} // namespace

extern "C" {

const char *QV_instVersionStamp = "Setup Version=1125-16:14";

// Parses the command line and enforces the root check. Without -cmdline it
// hands the description path and the root destination back to main; with
// -cmdline it installs and ends the process.
void QV_instProcessArgs(int argc, char **argv, char **cdinstPath, char **rootDest)
{
    *cdinstPath = nullptr;
    *rootDest = nullptr;
    const char *program = argc > 0 && argv[0] ? argv[0] : "";

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
            *rootDest = copy_or_fail(argv[++i]);
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
        return;
    }
    char *rest = nullptr;
    long long count = std::strtoll(line, &rest, 10);
    if (count < 0) {
        rest += std::strspn(rest, " \t");
        std::fprintf(stderr, "Error: %s\n", rest);
        return;
    }
    // Warnings count nothing, but a headless run must still say what it
    // skipped (registry steps without a display, a file it could not make).
    if (std::strncmp(line, "Warning:", 8) == 0)
        std::fprintf(stderr, "%s\n", line);
    else if (line[0] == '0')
        std::fprintf(stderr, "Warning: %s\n", rest + std::strspn(rest, " \t"));

    sum += static_cast<uint64_t>(count);
    // Nothing to do counts as done; double keeps totals beyond 4 GiB exact
    // enough for two decimals.
    double percent = total ? static_cast<double>(sum) / static_cast<double>(total) * 100.0 : 100.0;
    std::printf("Status:%6.2f%%\r", percent);
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
