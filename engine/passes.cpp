// The package passes of the install child: which suites a pass walks, and
// what every operation of a package does in each pass.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/cdinst.h"
#include "engine/fileops.h"
#include "engine/fileops_internal.h"
#include "engine/install.h"
#include "engine/internal.h"
#include "engine/ownership.h"
#include "engine/util.h"
#include "wizard/shell.h"

namespace {

// Directories named by Mkdir operations are removed after everything else
// of the suite's packages; the list is bounded so that a description with
// an absurd number of them cannot exhaust the child.
constexpr size_t kMaxRemovalDirs = 1000;

std::string joined(const char *dir, const char *name)
{
    qv::CStr path(QV_instBuildPath(dir, name, nullptr));
    return path ? std::string(path.get()) : std::string();
}

// Keep a graphical child's own message boxes alive between operations.
// XtAppProcessEvent returns after one event or expired timer; XtAppNextEvent
// would run a due timer and then block until an X event arrives.
void dispatch_pending_events()
{
    Widget shell = QV_instGetMainTopLevelShell();
    if (!shell)
        return;
    XtAppContext app = XtWidgetToApplicationContext(shell);
    while (XtAppPending(app))
        XtAppProcessEvent(app, XtIMAll);
}

// Target directory of an Untar2/UntarZ2 operation: two exact tags name the
// root and the common destination, anything else is a path as written.
std::string untar2_directory(const char *tag)
{
    const char *dir = tag;
    if (tag && std::strcmp(tag, "<RootDest>") == 0)
        dir = QV_instGetRootDestinationDirectory();
    else if (tag && std::strcmp(tag, "<CommonDest>") == 0)
        dir = QV_instGetCommonDestinationDirectory();
    return dir ? std::string(dir) : std::string();
}

int run_untar(QV_InstOperation *op, const char *source, const std::string &dir, FILE *stream, int removal)
{
    if (removal) {
        QV_instRemoveTarMembers(&op->u.tar, dir.c_str(), stream);
        return 0;
    }
    int compressed = (op->type == QV_OPER_UNTARZ || op->type == QV_OPER_UNTARZ2) ? 1 : 0;
    return QV_instUntar(&op->u.tar, source, dir.c_str(), static_cast<long>(op->size), compressed, stream,
                        QV_InstModeInstall);
}

// A directory named by a Mkdir operation, kept for removal with the units
// its operation was counted for.
struct RemovalDir {
    std::string name;
    int64_t units;
};

struct PassContext {
    const char *source;
    const char *destination;
    FILE *stream;
    int pass;
    int removal;
    const char *suiteName;
    std::vector<RemovalDir> *removalDirs;
};

// The progress units that the size walk counts for an operation other than
// an archive or a module call: its size, at least one. Every such operation
// reports exactly these units once in a run, in the pass that acts on it,
// or in the files pass of a walk that has nothing to do for it, so that a
// run that goes through ends at exactly 100 percent.
int64_t units_of(const QV_InstOperation *op)
{
    return op->size == 0 ? 1 : op->size;
}

// A name from the description shown in a progress line: a "\n" in it must
// not end the line.
std::string one_line(const char *text)
{
    std::string out = text ? text : "";
    for (char &ch : out)
        if (ch == '\n' || ch == '\r')
            ch = ' ';
    return out;
}

// The units of an operation that sends no line of its own (a Shortcut, a
// registry step, or any of them in a removal).
void send_units(const PassContext &c, const QV_InstOperation *op, const char *word, const char *name)
{
    QV_instSendUpdate(c.stream, "+%lld %s %s\n", static_cast<long long>(units_of(op)), word, one_line(name).c_str());
}

// Removal keeps the installer's own copy and the loaded modules without a
// line; their units are reported all the same.
void settle_kept(const PassContext &c, const QV_InstOperation *op, const std::string &path)
{
    if (InModuleList(path.c_str()) || IsSetupExe(path.c_str()))
        QV_instSendUpdate(c.stream, "+%lld %s\n", static_cast<long long>(units_of(op)), path.c_str());
}

// A copy reports the bytes it wrote; an empty file, which the description
// counts as one unit, or a file smaller than the description says leaves
// units unreported, which follow in one more line of the copy's form.
void settle_copy(const PassContext &c, const QV_InstOperation *op, const std::string &target, int result)
{
    if (target.empty() || result != 0)
        return;
    if (c.removal) {
        settle_kept(c, op, target);
        return;
    }
    struct stat st;
    const int64_t units = units_of(op);
    if (::stat(target.c_str(), &st) != 0 || st.st_size >= units)
        return;
    qv::CStr source(QV_instBuildPath(QV_instGetSourceDirectory(), op->u.copy.source, nullptr));
    QV_instSendUpdate(c.stream, "+%lld %s %s\n", static_cast<long long>(units - st.st_size),
                      source ? source.get() : "", target.c_str());
}

int run_function(const PassContext &c, _QV_InstPackage *package, QV_InstOperation *op)
{
    QV_InstModuleArgs args{};
    args.shell = QV_instGetMainTopLevelShell();
    args.pipe = c.stream;
    args.log = nullptr;
    args.root = QV_instGetRootDestinationDirectory();
    args.common = QV_instGetCommonDestinationDirectory();
    args.destination = c.destination;
    args.source = c.source;
    args.argument = op->u.function.argument;
    args.package = package->name;
    args.suite = c.suiteName;
    args.remove = c.removal;
    args.size = 0;
    args.pass = c.pass;
    return QV_instCustomFunction(&op->u.function, &args, c.stream) != 0 ? 1 : 0;
}

// As root, the folder that a file operation writes into or removes from
// (the product folder, or the folder of an archive: the common folder, the
// root destination, a folder the line names) is checked right before the
// operation: one that another user has made or been given meanwhile is
// refused with an error line, and nothing of root's goes into it or is
// removed through it. Only the product and the common folder are made
// when missing, and only to install: nobody else can then make them during
// the run. Any other folder must be there, as it must without root. True
// when refused.
bool folder_refused(const PassContext &c, const QV_InstOperation *op)
{
    if (c.pass != QV_PassFiles || geteuid() != 0)
        return false;
    std::string folder;
    bool make = !c.removal;
    switch (op->type) {
    case QV_OPER_COPY:
    case QV_OPER_COPYZ:
    case QV_OPER_UNTAR:
    case QV_OPER_UNTARZ:
    case QV_OPER_MKDIR:
    case QV_OPER_HARDLINK:
    case QV_OPER_SOFTLINK:
        folder = c.destination;
        break;
    case QV_OPER_UNTAR2:
    case QV_OPER_UNTARZ2:
        folder = untar2_directory(op->u.tar.dest);
        make = make && op->u.tar.dest && std::strcmp(op->u.tar.dest, "<CommonDest>") == 0;
        break;
    default:
        return false;
    }
    std::string refusal = folder.empty() ? "" : make ? qv::make_checked_folder(folder) : qv::folder_refusal(folder);
    if (refusal.empty())
        return false;
    std::replace(refusal.begin(), refusal.end(), '\n', ' ');
    QV_instSendUpdate(c.stream, "-1 %s\n", refusal.c_str());
    return true;
}

// One operation in one pass; the result is ORed into the pass status.
// Returns false for a type that no operation line can have.
bool run_operation(const PassContext &c, _QV_InstPackage *package, QV_InstOperation *op, int &status)
{
    const bool files = c.pass == QV_PassFiles;
    if (folder_refused(c, op)) {
        status |= 1;
        return true;
    }
    switch (op->type) {
    case QV_OPER_COPY:
        if (files) {
            const char *name = op->u.copy.dest ? op->u.copy.dest : op->u.copy.source;
            std::string target = joined(c.destination, name);
            int result = QV_instCopyFile(op->u.copy.source, target.empty() ? nullptr : target.c_str(),
                                         op->u.copy.mode, op->size, c.stream, c.removal);
            status |= result;
            settle_copy(c, op, target, result);
        }
        return true;
    case QV_OPER_COPYZ:
        // The decompressed file keeps the source name; the line's own
        // destination name is not used for this type.
        if (files) {
            std::string target = joined(c.destination, op->u.copy.source);
            int result = QV_instUncompress(op->u.copy.source, target.empty() ? nullptr : target.c_str(),
                                           op->u.copy.mode, op->size, c.stream, c.removal);
            status |= result;
            settle_copy(c, op, target, result);
        }
        return true;
    case QV_OPER_UNTAR:
    case QV_OPER_UNTARZ:
        if (files)
            status |= run_untar(op, c.source, c.destination, c.stream, c.removal);
        return true;
    case QV_OPER_UNTAR2:
    case QV_OPER_UNTARZ2:
        if (files)
            status |= run_untar(op, c.source, untar2_directory(op->u.tar.dest), c.stream, c.removal);
        return true;
    case QV_OPER_MKDIR:
        if (!files)
            return true;
        if (!c.removal) {
            // One unit however many folders it makes: the size walk cannot
            // know which of them will be there already.
            std::string dir = joined(c.destination, op->u.mkdir.dir);
            status |= qv::make_directory(dir.empty() ? nullptr : dir.c_str(), op->u.mkdir.mode, c.stream,
                                         units_of(op));
        } else if (c.removalDirs->size() < kMaxRemovalDirs) {
            c.removalDirs->push_back({op->u.mkdir.dir ? op->u.mkdir.dir : "", units_of(op)});
        } else {
            std::puts("Can't remove all dirs, list too large");
        }
        return true;
    case QV_OPER_HARDLINK:
    case QV_OPER_SOFTLINK:
        if (files) {
            std::string dir = joined(c.destination, op->u.link.dir);
            const char *d = dir.empty() ? nullptr : dir.c_str();
            int result = op->type == QV_OPER_HARDLINK
                             ? QV_instHardlink(d, op->u.link.target, op->u.link.link, op->size, c.stream, c.removal)
                             : QV_instSoftlink(d, op->u.link.target, op->u.link.link, op->size, c.stream, c.removal);
            status |= result;
            if (c.removal && result == 0 && d && op->u.link.link)
                settle_kept(c, op, dir + "/" + op->u.link.link);
        }
        return true;
    case QV_OPER_FUNCTION:
        status |= run_function(c, package, op);
        return true;
    case QV_OPER_SHORTCUT:
        // Nothing to do in any pass but to report its unit.
        if (files)
            send_units(c, op, "Shortcut", op->u.shortcut.s2);
        return true;
    case QV_OPER_REGDATA:
        // A registry failure is reported by its own error line only; done,
        // failed, skipped without a display or left alone by a removal, the
        // step reports its unit.
        if (!c.removal && c.pass == QV_PassRegistry) {
            QV_instRegData(c.destination, op->u.regdata.rootKey, op->u.regdata.keyName, op->u.regdata.keyValue,
                           op->u.regdata.value, c.stream);
            send_units(c, op, "RegData", op->u.regdata.keyName);
        } else if (c.removal && files) {
            send_units(c, op, "RegData", op->u.regdata.keyName);
        }
        return true;
    case QV_OPER_SELFREG:
        // Collected in the files pass, run in the registry pass, where
        // every SelfReg reports its unit whether or not it ran the tool.
        if (!c.removal) {
            std::string common;
            if (const char *dir = QV_instGetCommonDestinationDirectory())
                common = dir;
            QV_instSelfReg(common.empty() ? nullptr : common.c_str(), c.destination, op->u.selfreg.module,
                           c.stream, static_cast<QV_CustomPass>(c.pass));
            if (c.pass == QV_PassRegistry)
                send_units(c, op, "SelfReg", op->u.selfreg.module);
        } else if (files) {
            send_units(c, op, "SelfReg", op->u.selfreg.module);
        }
        return true;
    default:
        return false;
    }
}

// Directories collected in removal pass 3 go last and deepest first (the
// reverse of their operations), so a directory is empty when its turn comes.
void remove_collected_dirs(const std::vector<RemovalDir> &dirs, const char *destination, FILE *stream)
{
    for (auto it = dirs.rbegin(); it != dirs.rend(); ++it) {
        qv::CStr path(QV_instBuildPath(destination, it->name.c_str(), nullptr));
        if (!path) {
            QV_instSendUpdate(stream, "-1 Internal error while deleting directories\n");
            continue;
        }
        rmdir(path.get());
        QV_instSendUpdate(stream, "+%lld %s\n", static_cast<long long>(it->units), path.get());
    }
}

} // namespace

extern "C" {

// Runs one pass over a configuration: a Suite to install or remove, or every
// child of an options list. Selected suites are recorded in the history file
// in pass 3, whether or not anything ran for them.
int QV_instInstallConfig(_QV_instCDinst *cdinst, _QV_InstConfigList *config, const char *destination, FILE *stream,
                         int pass, int removal)
{
    std::string source;
    if (const char *dir = GetSourceDirectory(cdinst))
        source = dir;

    if (!config || !destination) {
        std::fputs("Error: invalid input to function QV_instInstallConfig\n", stderr);
        return 1;
    }

    if (config->type == QV_CONFIG_CUSDLG) {
        int status = 0;
        for (int32_t id : qv::children(config))
            status |= QV_instInstallConfig(cdinst, QV_instGetConfigFromId(cdinst, id), destination, stream, pass,
                                           removal);
        return status;
    }
    if (config->type != QV_CONFIG_SUITE) {
        std::fputs("Error: can only install a suite or a custom list of suites\n", stderr);
        return 1;
    }

    _QV_InstSuiteList *suite = config->data.suite ? config->data.suite->suite : nullptr;
    _QV_InstPackNode *packages = suite ? suite->firstPack : nullptr;
    const char *suiteName = suite ? suite->name : nullptr;
    const int installed = suite ? suite->installed : 0;

    int result = 0;
    if (!removal) {
        if (!installed) {
            if (config->selected != 1)
                return 0;
            result = QV_instInstallPackList(packages, source.c_str(), destination, stream, pass, 0, suiteName);
        }
    } else if (installed == 1 && config->selected == 0) {
        result = QV_instInstallPackList(packages, source.c_str(), destination, stream, pass, 1, suiteName);
    }

    if (pass == QV_PassFiles && config->selected == 1 && suite)
        QV_UpdateHistoryFile(destination, suite);
    return result;
}

// Runs one pass over a suite's packages. A package shared by several suites
// runs each pass once, for the first suite that reaches it.
int QV_instInstallPackList(_QV_InstPackNode *list, const char *source, const char *destination, FILE *stream,
                           int pass, int removal, const char *suiteName)
{
    if (!list || !destination || !*destination)
        return -1;

    std::vector<RemovalDir> removalDirs;
    PassContext c{source, destination, stream, pass, removal, suiteName, &removalDirs};
    int status = 0;
    for (_QV_InstPackNode *node = list; node; node = node->next) {
        _QV_InstPackage *package = node->package;
        if (!package)
            continue;
        // Installing skips what is already there; removing skips what a
        // selected suite still needs.
        if (!removal ? package->installed == 1 : package->inUse != 0)
            continue;
        if (package->lastPass < pass) {
            for (QV_InstOperation *op = package->firstOper; op; op = op->next) {
                dispatch_pending_events();
                if (!run_operation(c, package, op, status)) {
                    std::fprintf(stderr, "Error:Undefined operation %d\n", op->type);
                    return 1;
                }
            }
        }
        package->lastPass = pass;
    }

    if (removal && pass == QV_PassFiles)
        remove_collected_dirs(removalDirs, destination, stream);
    return status;
}

// Removes what an archive put in place, last member first, so that the
// files of a directory are gone before the directory itself.
int QV_instRemoveTarMembers(const _QV_InstTar *tar, const char *dir, FILE *stream)
{
    if (!tar || !tar->names || !tar->sizes)
        return 0;
    for (int32_t i = tar->count - 1; i >= 0; --i) {
        const char *name = tar->names[i] ? tar->names[i] : "";
        qv::CStr path(QV_instBuildPath(dir, name, nullptr));
        if (!path)
            continue;
        // A name that climbs out of the directory names a file the archive
        // never put there (tar refuses such members): it is left alone.
        struct stat st;
        if (!qv::climbs_out(name) && lstat(path.get(), &st) == 0) {
            if (S_ISDIR(st.st_mode))
                rmdir(path.get());
            else
                unlink(path.get());
        }
        QV_instSendUpdate(stream, "+%lld %s\n", static_cast<long long>(tar->sizes[i]), path.get());
        if (QV_instDebug >= 1)
            std::fprintf(stderr, "%lld\n", static_cast<long long>(tar->sizes[i]));
    }
    return 0;
}

} // extern "C"
