// The in-memory setup description: its globals, record creation, the
// lookups by name and id, and the functions that release records.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/cdinst.h"
#include "engine/util.h"

extern "C" {

_QV_instCDinst *CDInstPtr = nullptr;

// Order matters: a line's type, and an operation's stored type, is the
// keyword's index here.
const char *QVInstOperTkList[] = {"Suite",   "Package",  "Copy",     "CopyZ",    "Untar",  "UntarZ",      "Untar2",
                                  "UntarZ2", "Mkdir",    "HardLink", "SoftLink", "Prefix", "Env",         "Alias",
                                  "ConfigBegin", "ConfigEnd", "Function", "Shortcut", "RegData", "SelfReg", nullptr};

const char *QVInstConfigTkList[] = {"MainDlg", "CusDlg", "Suite", nullptr};

int QV_instParsingConfiguration = 0;
int QV_instDebug = 0;

QV_InstOperation *newOper(_QV_instCDinst *cdinst)
{
    if (!cdinst || !cdinst->lastPack || !cdinst->lastPack->package)
        return nullptr;
    auto *oper = static_cast<QV_InstOperation *>(std::calloc(1, sizeof(QV_InstOperation)));
    if (!oper)
        return nullptr;
    _QV_InstPackage *package = cdinst->lastPack->package;
    if (package->lastOper)
        package->lastOper->next = oper;
    else
        package->firstOper = oper;
    package->lastOper = oper;
    return oper;
}

void QV_instAddPackage2Suite(_QV_InstSuiteList *suite, _QV_InstPackage *package)
{
    if (!suite) {
        std::fputs("Error: adding package to suite\n", stderr);
        return;
    }
    if (!package)
        return;
    auto *node = static_cast<_QV_InstPackNode *>(std::calloc(1, sizeof(_QV_InstPackNode)));
    if (!node) {
        std::fputs("Out of memory\n", stderr);
        return;
    }
    node->package = package;
    if (suite->lastPack)
        suite->lastPack->next = node;
    else
        suite->firstPack = node;
    suite->lastPack = node;
}

_QV_InstSuiteList *QV_instGetSuiteFromName(const _QV_instCDinst *cdinst, const char *name)
{
    if (!cdinst || !name)
        return nullptr;
    for (_QV_InstSuiteList *suite = cdinst->firstSuite; suite; suite = suite->next)
        if (suite->name && std::strcmp(suite->name, name) == 0)
            return suite;
    return nullptr;
}

_QV_InstPackage *QV_instGetPackageFromName(const _QV_instCDinst *cdinst, const char *name)
{
    if (!cdinst || !name)
        return nullptr;
    for (_QV_InstPackNode *node = cdinst->firstPack; node; node = node->next)
        if (node->package && node->package->name && std::strcmp(node->package->name, name) == 0)
            return node->package;
    return nullptr;
}

_QV_InstConfigList *QV_instGetConfigFromId(const _QV_instCDinst *cdinst, int id)
{
    if (!cdinst)
        return nullptr;
    for (_QV_InstConfigList *config = cdinst->configs; config; config = config->next)
        if (config->id == id)
            return config;
    return nullptr;
}

// A word list is a NULL-terminated string array like any other.
void freeTokenList(char **list) { QV_instFreeStringArray(list); }

void QV_instFreeOper(QV_InstOperation *oper)
{
    if (!oper)
        return;
    switch (oper->type) {
    case QV_OPER_COPY:
    case QV_OPER_COPYZ:
        std::free(oper->u.copy.source);
        std::free(oper->u.copy.dest);
        break;
    case QV_OPER_UNTAR:
    case QV_OPER_UNTARZ:
    case QV_OPER_UNTAR2:
    case QV_OPER_UNTARZ2: {
        _QV_InstTar &tar = oper->u.tar;
        std::free(tar.file);
        if (tar.names)
            for (int32_t i = 0; i < tar.count; ++i)
                std::free(tar.names[i]);
        std::free(tar.names);
        std::free(tar.sizes);
        if (oper->type == QV_OPER_UNTAR2 || oper->type == QV_OPER_UNTARZ2)
            std::free(tar.dest);
        break;
    }
    case QV_OPER_MKDIR:
        std::free(oper->u.mkdir.dir);
        break;
    case QV_OPER_HARDLINK:
    case QV_OPER_SOFTLINK:
        std::free(oper->u.link.dir);
        std::free(oper->u.link.target);
        std::free(oper->u.link.link);
        break;
    case QV_OPER_FUNCTION:
        std::free(oper->u.function.function);
        std::free(oper->u.function.module);
        std::free(oper->u.function.argument);
        if (oper->u.function.handle)
            dlclose(oper->u.function.handle);
        break;
    case QV_OPER_SHORTCUT:
        std::free(oper->u.shortcut.s1);
        std::free(oper->u.shortcut.s2);
        std::free(oper->u.shortcut.s3);
        std::free(oper->u.shortcut.s4);
        break;
    case QV_OPER_REGDATA:
        std::free(oper->u.regdata.rootKey);
        std::free(oper->u.regdata.keyName);
        std::free(oper->u.regdata.keyValue);
        std::free(oper->u.regdata.value);
        break;
    case QV_OPER_SELFREG:
        std::free(oper->u.selfreg.module);
        break;
    default:
        break;
    }
    std::free(oper);
}

void QV_instFreePackage(_QV_InstPackage *package)
{
    if (!package)
        return;
    std::free(package->name);
    std::free(package->info);
    for (QV_InstOperation *oper = package->firstOper; oper;) {
        QV_InstOperation *next = oper->next;
        QV_instFreeOper(oper);
        oper = next;
    }
    std::free(package);
}

// The suite's nodes only point to packages; the packages belong to the
// description's own list.
void QV_instFreeSuite(_QV_InstSuiteList *suite)
{
    if (!suite)
        return;
    std::free(suite->name);
    for (_QV_InstPackNode *node = suite->firstPack; node;) {
        _QV_InstPackNode *next = node->next;
        std::free(node);
        node = next;
    }
    std::free(suite);
}

// A Suite configuration points into the suite list, which is freed on its own.
void QV_instFreeConfig(_QV_InstConfigList *config)
{
    if (!config)
        return;
    if (config->data.any) {
        switch (config->type) {
        case QV_CONFIG_MAINDLG:
            std::free(config->data.main->title);
            std::free(config->data.main->description);
            break;
        case QV_CONFIG_CUSDLG:
            std::free(config->data.cus->title);
            std::free(config->data.cus->description);
            break;
        case QV_CONFIG_SUITE:
            std::free(config->data.suite->description);
            break;
        default:
            break;
        }
        std::free(config->data.any);
    }
    if (config->icon) {
        std::free(config->icon->module);
        std::free(config->icon->symbol);
        std::free(config->icon);
    }
    std::free(config);
}

void QV_instFreeCDinst(_QV_instCDinst *cdinst)
{
    if (!cdinst)
        return;
    for (_QV_InstConfigList *config = cdinst->configs; config;) {
        _QV_InstConfigList *next = config->next;
        QV_instFreeConfig(config);
        config = next;
    }
    for (_QV_InstSuiteList *suite = cdinst->firstSuite; suite;) {
        _QV_InstSuiteList *next = suite->next;
        QV_instFreeSuite(suite);
        suite = next;
    }
    for (_QV_InstPackNode *node = cdinst->firstPack; node;) {
        _QV_InstPackNode *next = node->next;
        QV_instFreePackage(node->package);
        std::free(node);
        node = next;
    }
    std::free(cdinst->sourceDir);
    std::free(cdinst->rootDest);
    std::free(cdinst->productName);
    std::free(cdinst->productVersion);
    std::free(cdinst->productDir);
    std::free(cdinst->cdinstPath);
    std::free(cdinst->logFile);
    std::free(cdinst->historyFile);
    std::free(cdinst);
}

} // extern "C"
