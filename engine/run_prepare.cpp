// Checking and preparing the tree before a run: the progress total, the
// product folder made (as root only in a tree root alone controls), the log
// opened and its first entries written.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "engine/fileops.h"
#include "engine/install.h"
#include "engine/internal.h"
#include "engine/ownership.h"
#include "engine/run_phases.h"
#include "engine/util.h"
#include "wizard/maintenance.h"

namespace qv {

namespace {

// Makes the folders of dir that are missing and answers the protocol lines
// that report them.
std::string early_mkdir(const char *dir)
{
    char *text = nullptr;
    size_t size = 0;
    FILE *lines = open_memstream(&text, &size);
    QV_instMkdir(dir, 0755, lines);
    if (lines)
        std::fclose(lines);
    CStr owned(text);
    return text ? std::string(text, size) : std::string();
}

// The progress units that protocol lines report, one line after the other.
uint64_t units_of(const std::string &lines)
{
    uint64_t units = 0;
    size_t at = 0;
    while (at < lines.size()) {
        long long count = protocol_count(lines.c_str() + at);
        if (count > 0)
            units += static_cast<uint64_t>(count);
        size_t newline = lines.find('\n', at);
        if (newline == std::string::npos)
            break;
        at = newline + 1;
    }
    return units;
}

} // namespace

void size_run(_QV_instCDinst *cdinst, _QV_InstConfigList *config, ChildRun &job)
{
    InstallRun &run = install_run();
    run.total = static_cast<uint64_t>(QV_instGetTrueSize(cdinst, config, 1, 1));
    if (QV_instDebug >= 1)
        std::fprintf(stderr, "Total size=%llu\n", static_cast<unsigned long long>(run.total));
    // A description that cannot be examined now is still copied later if it
    // can be read then; it gets the mode of an ordinary product file. The
    // copy is never writable by group or others, whatever the medium's file
    // allows (a careless vendor, a stick mounted with umask=000): a later
    // run from the product folder loads the modules the copy names.
    job.cdinstMode = 0644;
    job.cdinstSize = 0;
    // The copy is read from the source folder, which may be another
    // medium's than the description this run read (the history's source
    // folder): what the copy reports is that file's size.
    CStr name(cdinst->cdinstPath ? QV_instBasename(cdinst->cdinstPath) : nullptr);
    CStr copied(name ? QV_instBuildPath(QV_instGetSourceDirectory(), name.get(), nullptr) : nullptr);
    struct stat st;
    if ((copied && stat(copied.get(), &st) == 0) || (cdinst->cdinstPath && stat(cdinst->cdinstPath, &st) == 0)) {
        run.total += static_cast<uint64_t>(st.st_size);
        if (QV_instDebug >= 1)
            std::fprintf(stderr, "Total size +  cdinst=%llu\n", static_cast<unsigned long long>(run.total));
        job.cdinstMode = static_cast<int>(st.st_mode & 07777 & ~(S_IWGRP | S_IWOTH));
        job.cdinstSize = st.st_size;
    }
}

bool prepare_tree(_QV_instCDinst *cdinst, ChildRun &job)
{
    InstallRun &run = install_run();
    const std::string &destination = job.destination;
    // As root, the tree must be root's alone before anything is made in it,
    // and the product folder is then made by root folder by folder, each
    // checked once it is there: one a user made in between is refused too.
    bool made = false;
    const std::string refusal = make_destination(cdinst->rootDest, cdinst->productDir, destination, made);
    if (!refusal.empty()) {
        // On a terminal, a refusal is an error of its own on standard error.
        if (QV_instGetMainTopLevelShell())
            box(("Unable to create install directory\n" + refusal).c_str());
        else
            std::fprintf(stderr, "Error: %s\n", refusal.c_str());
        return false;
    }
    if (!made) {
        // On a terminal the user also needs to know which folder and why;
        // a folder that exists as a file sets no error number.
        int err = errno ? errno : ENOTDIR;
        CStr text(QV_instGetMainTopLevelShell()
                      ? nullptr
                      : QV_instStrPrint("Unable to create install directory\n%s: %s\n", destination.c_str(),
                                        std::strerror(err)));
        box(text ? text.get() : "Unable to create install directory");
        return false;
    }

    // As root, a failed first installation removes its history through
    // the SetupFiles folder checked now, whatever happens to the product
    // folder during the run; made first, it is there for a log name that
    // goes up from it.
    if (geteuid() == 0)
        hold_history_folder(destination, !job.removeAll);

    if (cdinst->logFile && *cdinst->logFile) {
        CStr path(QV_instBuildPath(destination.c_str(), cdinst->logFile, nullptr));
        CStr dir(path ? QV_instDirname(path.get()) : nullptr);
        if (!path || !dir) {
            box("Error while setting up logfile");
            return false;
        }
        if (geteuid() == 0) {
            // Made by root folder by folder, each checked once it is there;
            // a refused one is named when the log is opened there.
            make_checked_folder(dir.get());
        } else {
            // Nothing reads the pipe before the fork, and a deep log folder
            // could fill it: the "+1 mkdir" lines are kept and the child
            // sends them first. They count towards the progress total.
            job.early = early_mkdir(dir.get());
            run.total += units_of(job.early);
        }
        QV_instInitLogfileAndTimeStamp(path.get());
        for (const std::string &warning : {medium_warning(), history_source_warning()})
            if (!warning.empty())
                QV_instUpdateLogfile("%s\n", warning.c_str());
    }

    if (mbMaintenance)
        QV_instUpdateLogfile("Running in Maintenance mode\n");
    if (job.removeAll) {
        QV_instUpdateLogfile("Removing All Files\n");
    } else if (cdinst->menuInclude) {
        std::string root;
        if (const char *r = GetRootDestinationDirectory(cdinst))
            root = r;
        QV_instAddSinclude(nullptr, root.empty() ? nullptr : &root[0]);
    }
    return true;
}

} // namespace qv
