// Verifying the custom setup modules that a description names, right after
// it is read: each must load and export its version, initModule and the
// functions its Function lines call.
#include <dlfcn.h>

#include <cstring>

#include "engine/cdinst.h"
#include "engine/internal.h"
#include "engine/util.h"
#include "wizard/shell.h"

namespace {

constexpr double kModuleVersion = 1.1;

} // namespace

extern "C" {

// Every problem of a module is shown (up to three per operation) so that the
// module's author sees them all at once; only a module that cannot be
// loaded at all stops the check.
int validateModule(_QV_instCDinst *cdinst)
{
    if (!cdinst)
        return 0;
    int result = 0;
    for (_QV_InstPackNode *node = cdinst->firstPack; node; node = node->next) {
        _QV_InstPackage *package = node->package;
        if (!package)
            continue;
        const char *packageName = package->name ? package->name : "";
        for (QV_InstOperation *oper = package->firstOper; oper; oper = oper->next) {
            if (oper->type != QV_OPER_FUNCTION)
                continue;
            const _QV_InstFunction &function = oper->u.function;
            const char *moduleName = function.module ? function.module : "";
            qv::CStr path(QV_instBuildPath(cdinst->sourceDir, "SetupFiles", moduleName,
                                           static_cast<const char *>(nullptr)));
            if (!path) {
                QV_instDisplayMessage(QV_instGetMainTopLevelShell(), "OK", nullptr, nullptr,
                                      "Error: (readCdinst) Can't allocate memory");
                return 100;
            }
            qv::DlHandle module(dlopen(path.get(), RTLD_LAZY));
            if (!module) {
                // The loader's reason on a line of its own: a missing file,
                // a wrong architecture or a library the module needs.
                const char *why = dlerror();
                QV_instDisplayMessage(QV_instGetMainTopLevelShell(), "OK", nullptr, nullptr,
                                      "Error: unable to load %s\n%s", path.get(), why ? why : "");
                return 100;
            }

            void *version = dlsym(module.get(), "ModuleVersion");
            if (!version) {
                QV_instDisplayMessage(QV_instGetMainTopLevelShell(), "OK", nullptr, nullptr,
                                      "Error: there is no version number in module\nModule: %s\nPackage: %s",
                                      path.get(), packageName);
                result = 100;
            } else {
                double value;
                std::memcpy(&value, version, sizeof value);
                if (!(value == kModuleVersion)) { // a NaN fails too
                    QV_instDisplayMessage(QV_instGetMainTopLevelShell(), "OK", nullptr, nullptr,
                                          "Error: version number of module is invalid\nModule: %s\nPackage: "
                                          "%s\nCurrent version: %f\nRequired version: %f",
                                          path.get(), packageName, value, kModuleVersion);
                    result = 100;
                }
            }

            const char *names[] = {"initModule", function.function ? function.function : ""};
            for (const char *name : names) {
                if (!*name || !dlsym(module.get(), name)) {
                    QV_instDisplayMessage(QV_instGetMainTopLevelShell(), "OK", nullptr, nullptr,
                                          "Error: missing function in module\nModule: %s\nPackage: %s\nFunction: %s",
                                          moduleName, packageName, name);
                    result = 100;
                }
            }
        }
    }
    return result;
}

} // extern "C"
