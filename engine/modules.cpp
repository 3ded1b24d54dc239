// Calling the functions of custom setup modules, and the list of loaded
// modules that a removal must never delete.
#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <string>
#include <vector>

#include "engine/cdinst.h"
#include "engine/internal.h"
#include "engine/util.h"

// Modules are compiled separately against this layout of the argument
// block; it must never move.
static_assert(offsetof(QV_InstModuleArgs, shell) == 0, "argument block layout");
static_assert(offsetof(QV_InstModuleArgs, pipe) == 8, "argument block layout");
static_assert(offsetof(QV_InstModuleArgs, log) == 16, "argument block layout");
static_assert(offsetof(QV_InstModuleArgs, root) == 24, "argument block layout");
static_assert(offsetof(QV_InstModuleArgs, common) == 32, "argument block layout");
static_assert(offsetof(QV_InstModuleArgs, destination) == 40, "argument block layout");
static_assert(offsetof(QV_InstModuleArgs, source) == 48, "argument block layout");
static_assert(offsetof(QV_InstModuleArgs, argument) == 56, "argument block layout");
static_assert(offsetof(QV_InstModuleArgs, package) == 64, "argument block layout");
static_assert(offsetof(QV_InstModuleArgs, suite) == 72, "argument block layout");
static_assert(offsetof(QV_InstModuleArgs, remove) == 80, "argument block layout");
static_assert(offsetof(QV_InstModuleArgs, size) == 84, "argument block layout");
static_assert(offsetof(QV_InstModuleArgs, reserved) == 88, "argument block layout");
static_assert(sizeof(((QV_InstModuleArgs *)nullptr)->reserved) == 16, "argument block layout");
static_assert(offsetof(QV_InstModuleArgs, pass) == 104, "argument block layout");
static_assert(sizeof(QV_InstModuleArgs) == 112, "argument block layout");

namespace {

// Paths of the modules loaded so far, in load order. The first
// QV_MODULE_LIST_MAX go into the list proper; any further ones are kept
// in the overflow so that a removal still leaves them alone.
char *moduleList[QV_MODULE_LIST_MAX];
int moduleCount;
std::vector<std::string> moduleOverflow;

void unload(_QV_InstFunction *function)
{
    dlclose(function->handle);
    function->handle = nullptr;
    function->address = nullptr;
}

} // namespace

extern "C" {

int InModuleList(const char *path)
{
    if (!path)
        return 0;
    for (int i = 0; i < moduleCount; ++i)
        if (std::strcmp(moduleList[i], path) == 0)
            return 1;
    for (const std::string &listed : moduleOverflow)
        if (listed == path)
            return 1;
    return 0;
}

// 0 when the path is already listed (or NULL, or cannot be copied), else
// the number of paths listed now, overflow included.
int UpdateModuleList(const char *path)
{
    if (!path || InModuleList(path))
        return 0;
    if (moduleCount < QV_MODULE_LIST_MAX) {
        char *copy = strdup(path);
        if (!copy)
            return 0;
        moduleList[moduleCount++] = copy;
    } else {
        moduleOverflow.emplace_back(path);
    }
    return moduleCount + static_cast<int>(moduleOverflow.size());
}

// Calls the module function of one Function operation. The module is
// loaded from <source>/SetupFiles on the operation's first call and kept;
// initModule runs before every call so that the module sees the block of
// this call. 100 means the call never reached the function (and an error
// line went to the stream); anything else is the function's own result.
int QV_instCustomFunction(_QV_InstFunction *function, QV_InstModuleArgs *args, FILE *stream)
{
    if (!function || !args || !function->module || !function->function || !*function->function ||
        !*function->module) {
        QV_instSendUpdate(stream, "-1 Custom Function invalid parameters\n");
        return 100;
    }

    if (!function->handle) {
        qv::CStr path(QV_instBuildPath(args->source, "SetupFiles", function->module, (char *)nullptr));
        if (!path) {
            std::fputs("-1 Can't allocate memory\n", stderr);
            return 100;
        }
        function->handle = dlopen(path.get(), RTLD_LAZY);
        if (!function->handle) {
            // The loader's reason follows after a blank: an error line is
            // one line, so a line break in it becomes a blank too.
            const char *why = dlerror();
            std::string reason = why ? why : "";
            std::replace(reason.begin(), reason.end(), '\n', ' ');
            QV_instSendUpdate(stream, "-1 Error: loading module %s %s\n", function->module, reason.c_str());
            return 100;
        }
        // A function address kept from an earlier load belongs to that load.
        function->address = nullptr;
        UpdateModuleList(path.get());
    }

    auto init = reinterpret_cast<QV_InstModuleFunction>(dlsym(function->handle, "initModule"));
    if (!init) {
        QV_instSendUpdate(stream, "-1 Error: function %s not found in Module %s\n", "initModule", function->module);
        unload(function);
        return 100;
    }
    init(CDInstPtr, args);

    if (!function->address) {
        function->address = reinterpret_cast<QV_InstModuleFunction>(dlsym(function->handle, function->function));
        if (!function->address) {
            QV_instSendUpdate(stream, "-1 Error: function %s not found in Module %s\n", function->function,
                              function->module);
            unload(function);
            return 100;
        }
    }

    args->log = QV_instOpenLogfile();
    // Each line the module writes lands in the log at once, ahead of its
    // later "#Log:" lines, which reach the log only once the parent has
    // read them: a fully buffered stream would hold its text until the call
    // returned.
    if (args->log)
        std::setvbuf(args->log, nullptr, _IOLBF, 0);
    int result = function->address(CDInstPtr, args);
    // The module may have closed the log itself; it then clears the field.
    if (args->log) {
        std::fclose(args->log);
        args->log = nullptr;
    }
    return result;
}

} // extern "C"
