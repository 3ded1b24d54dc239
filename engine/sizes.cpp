// Package sizes, the size walks over the configuration tree, and free space
// and block size of the partition that receives the installation.
#include <sys/statvfs.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/cdinst.h"
#include "engine/internal.h"
#include "engine/util.h"
#include "wizard/shell.h"

namespace {

// An operation of size s takes whole blocks of b bytes; an empty file still
// takes one unit (one byte of read size, one block of write size).
uint64_t round_to_blocks(int64_t size, uint64_t block)
{
    uint64_t s = size == 0 ? 1 : static_cast<uint64_t>(size);
    uint64_t rest = s % block;
    return rest ? s + (block - rest) : s;
}

// Asks a Function operation's module for its own size. A module that cannot
// answer leaves the sizes unknown, and the installer cannot go on without
// them, so this ends the program.
int64_t module_size(QV_InstOperation *op, const _QV_InstPackage *package, uint64_t block, const char *source,
                    const char *destination)
{
    QV_InstModuleArgs args;
    std::memset(&args, 0, sizeof args);
    args.shell = QV_instGetMainTopLevelShell();
    args.destination = destination;
    args.source = source;
    args.argument = op->u.function.argument;
    args.package = package->name;
    args.size = static_cast<int>(static_cast<uint32_t>(block));
    args.pass = QV_PassSize;
    if (QV_instCustomFunction(&op->u.function, &args, nullptr) != 0) {
        QV_instDisplayMessage(QV_instGetMainTopLevelShell(), "Exit", nullptr, nullptr,
                              "Error: Internal error getting size of package '%s' (%s)\n",
                              package->name ? package->name : "",
                              op->u.function.function ? op->u.function.function : "");
        std::exit(1);
    }
    return static_cast<int32_t>(args.size);
}

int64_t package_size(const _QV_InstPackage *package, int selector)
{
    return selector == 1 ? package->readSize : package->writeSize;
}

// The suite record of a Suite configuration, or NULL when it has none or
// the suite lists no packages.
_QV_InstSuiteList *suite_of(const _QV_InstConfigList *config)
{
    _QV_InstSuiteList *suite = config->data.suite ? config->data.suite->suite : nullptr;
    return suite && suite->firstPack ? suite : nullptr;
}

void reset_walk(const _QV_instCDinst *cdinst)
{
    if (cdinst)
        QV_instResetPackagePasses(cdinst->firstPack);
}

// Every suite's totals: its packages' read and write sizes, a package that a
// suite lists twice counted once.
void set_suite_totals(_QV_instCDinst *cdinst)
{
    for (_QV_InstSuiteList *suite = cdinst->firstSuite; suite; suite = suite->next) {
        QV_instResetPackagePasses(cdinst->firstPack);
        suite->readTotal = 0;
        suite->writeTotal = 0;
        for (_QV_InstPackNode *node = suite->firstPack; node; node = node->next) {
            _QV_InstPackage *p = node->package;
            if (!p || p->walkCount != 0)
                continue;
            p->walkCount = 1;
            suite->readTotal += p->readSize;
            suite->writeTotal += p->writeSize;
        }
    }
    QV_instResetPackagePasses(cdinst->firstPack);
}

} // namespace

extern "C" {

int QV_instSetSizes(_QV_instCDinst *cdinst)
{
    if (!cdinst || !cdinst->firstPack)
        return -1;
    const char *dest = GetDestinationDirectory(cdinst);
    if (!dest || !*dest)
        return -1;
    // The accessor's buffer is overwritten by the next call, and modules
    // asked for their sizes may call it; keep a copy.
    std::string destination = dest;

    qv::CStr partition(QV_instGetPartitionDirectory(destination.c_str()));
    if (!partition || !*partition)
        return -1;
    struct statvfs fs;
    if (statvfs(partition.get(), &fs) != 0 || fs.f_bsize == 0)
        return -1;
    uint64_t block = fs.f_bsize;

    const char *source = cdinst->sourceDir;
    for (_QV_InstPackNode *node = cdinst->firstPack; node; node = node->next) {
        _QV_InstPackage *p = node->package;
        if (!p)
            continue;
        uint64_t read = QV_instGetPackageSize(p, 1, source, destination.c_str());
        if (read == static_cast<uint64_t>(-1))
            return -1;
        p->readSize = static_cast<int64_t>(read);
        uint64_t write = QV_instGetPackageSize(p, block, source, destination.c_str());
        if (write == static_cast<uint64_t>(-1))
            return -1;
        p->writeSize = static_cast<int64_t>(write);
    }
    set_suite_totals(cdinst);
    return 0;
}

uint64_t QV_instGetPackageSize(_QV_InstPackage *package, uint64_t blockSize, const char *source,
                               const char *destination)
{
    if (!package || blockSize == 0)
        return static_cast<uint64_t>(-1);
    uint64_t sum = 0;
    for (QV_InstOperation *op = package->firstOper; op; op = op->next) {
        switch (op->type) {
        case QV_OPER_UNTAR:
        case QV_OPER_UNTARZ:
        case QV_OPER_UNTAR2:
        case QV_OPER_UNTARZ2:
            if (op->u.tar.sizes)
                for (int32_t i = 0; i < op->u.tar.count; ++i)
                    sum += round_to_blocks(op->u.tar.sizes[i], blockSize);
            break;
        case QV_OPER_FUNCTION:
            // The module's answer is taken as it is: it already knows the
            // block size it was asked for.
            sum += static_cast<uint64_t>(module_size(op, package, blockSize, source, destination));
            break;
        default:
            sum += round_to_blocks(op->size, blockSize);
            break;
        }
    }
    return sum;
}

int64_t QV_instGetSize(_QV_instCDinst *cdinst, _QV_InstConfigList *config, int selector, int absolute, int phase)
{
    if (!config)
        return 0;
    switch (config->type) {
    case QV_CONFIG_SUITE: {
        // A suite that is neither on disk nor wanted changes nothing. The
        // combination rules of the lists below would otherwise subtract it
        // (or add it, counting what is touched) under a list that is being
        // added or removed, and the required space of a first installation
        // with a nested list could even come out negative.
        if (!config->installed && !config->selected)
            return 0;
        // Phase 0 lets the suites that stay installed claim their packages,
        // so that phase 1 adds or subtracts only what really changes.
        if (phase == 0 && !(config->installed && config->selected))
            return 0;
        _QV_InstSuiteList *suite = suite_of(config);
        if (!suite)
            return 0;
        int64_t sum = 0;
        for (_QV_InstPackNode *node = suite->firstPack; node; node = node->next) {
            _QV_InstPackage *p = node->package;
            if (!p || p->walkCount != 0)
                continue;
            sum += package_size(p, selector);
            if (config->selected == 1)
                p->walkCount = 1;
        }
        return sum;
    }
    case QV_CONFIG_MAINDLG:
        std::fputs("Error: QV_instGetSize called on a MainDialog\n", stderr);
        std::exit(1);
    case QV_CONFIG_CUSDLG: {
        int64_t sum = 0;
        const int s = config->selected, i = config->installed;
        for (int32_t id : qv::children(config)) {
            _QV_InstConfigList *child = QV_instGetConfigFromId(cdinst, id);
            if (!child)
                continue;
            // The child's walk claims packages whatever its size adds here.
            int64_t z = QV_instGetSize(cdinst, child, selector, absolute, phase);
            const int cs = child->selected, ci = child->installed;
            if (s == i) {
                if (cs == ci && !(cs == 1 && child->type == QV_CONFIG_CUSDLG))
                    continue;
                sum += (absolute || cs) ? z : -z;
            } else if (s) {
                sum += (absolute || cs) ? z : -z;
            } else if (cs != ci && cs) {
                continue;
            } else {
                sum += absolute ? z : -z;
            }
        }
        return sum;
    }
    default:
        return 0;
    }
}

int64_t QV_instGetReadSize(_QV_instCDinst *cdinst, _QV_InstConfigList *config, int absolute)
{
    if (!cdinst || !cdinst->firstPack || !config)
        return -1;
    reset_walk(cdinst);
    int64_t size = QV_instGetSize(cdinst, config, 1, absolute, 0);
    return size + QV_instGetSize(cdinst, config, 1, absolute, 1);
}

int64_t QV_instGetWriteSize(_QV_instCDinst *cdinst, _QV_InstConfigList *config, int absolute)
{
    if (!cdinst || !cdinst->firstPack || !config)
        return -1;
    const char *dest = GetDestinationDirectory(cdinst);
    if (!dest || !*dest)
        return -1;
    reset_walk(cdinst);
    int64_t size = QV_instGetSize(cdinst, config, 2, absolute, 0);
    return size + QV_instGetSize(cdinst, config, 2, absolute, 1);
}

int64_t QV_instCountBytesToInstall(_QV_instCDinst *cdinst, _QV_InstConfigList *config, int selector, int absolute)
{
    if (!cdinst || !config) {
        std::puts("Invalid arguments to QV_instCountBytesToInstall");
        return 0;
    }
    if (config->type == QV_CONFIG_SUITE) {
        if (config->selected == config->installed)
            return 0;
        _QV_InstSuiteList *suite = suite_of(config);
        if (!suite)
            return 0;
        int64_t sum = 0;
        for (_QV_InstPackNode *node = suite->firstPack; node; node = node->next) {
            _QV_InstPackage *p = node->package;
            if (!p)
                continue;
            if (p->walkCount == 0) {
                if (p->inUse != 0 && p->installed == 0)
                    sum += package_size(p, selector);
                else if (p->installed == 1 && p->inUse == 0)
                    sum += absolute ? package_size(p, selector) : -package_size(p, selector);
            }
            ++p->walkCount;
        }
        return sum;
    }
    if (config->type == QV_CONFIG_CUSDLG) {
        int64_t sum = 0;
        for (int32_t id : qv::children(config)) {
            _QV_InstConfigList *child = QV_instGetConfigFromId(cdinst, id);
            if (child)
                sum += QV_instCountBytesToInstall(cdinst, child, selector, absolute);
        }
        return sum;
    }
    return 0;
}

int64_t QV_instGetTrueSize(_QV_instCDinst *cdinst, _QV_InstConfigList *config, int selector, int absolute)
{
    UpdateNumInUseFlag(cdinst, config, 1);
    UpdateNumInUseFlag(cdinst, config, 0);
    reset_walk(cdinst);
    int64_t size = QV_instCountBytesToInstall(cdinst, config, selector, absolute);
    reset_walk(cdinst);
    return size;
}

void QV_instResetPackagePasses(_QV_InstPackNode *list)
{
    for (; list; list = list->next)
        if (list->package)
            list->package->walkCount = 0;
}

int64_t QV_instGetAvailableSpace(const char *path)
{
    if (!path || !*path)
        return -1;
    struct statvfs fs;
    if (statvfs(path, &fs) != 0)
        return -1;
    return static_cast<int64_t>(fs.f_bsize) * static_cast<int64_t>(fs.f_bavail);
}

int64_t QV_instGetBlockSize(const char *path)
{
    qv::CStr partition(QV_instGetPartitionDirectory(path));
    if (!partition || !*partition)
        return -1;
    struct statvfs fs;
    if (statvfs(partition.get(), &fs) != 0)
        return -1;
    return static_cast<int64_t>(fs.f_bsize);
}

double QV_instTranslateBytes2Gigs(int64_t bytes)
{
    return static_cast<double>(bytes) * 9.313225746154785e-10;
}

double QV_instTranslateBytes2Megs(int64_t bytes)
{
    return static_cast<double>(bytes) * 9.5367431640625e-7;
}

double QV_instTranslateBytes2Ks(int64_t bytes)
{
    return static_cast<double>(bytes) * 0.0009765625;
}

} // extern "C"
