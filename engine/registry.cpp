// Registry values and component registration, done by the runtime that the
// product installs under Application/mainwin/mw: its regkey tool once per
// value, and the product's tavreg once for every collected component.
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/install.h"
#include "engine/internal.h"
#include "engine/util.h"
#include "wizard/shell.h"

namespace {

char defaultRedirect[] = "> /dev/null";

// The runtime's launcher in front of every tool it runs. The ${MWHOME}
// expansions are quoted: a destination with a blank must not split them.
const char kLauncher[] = "\"${MWHOME}/bin-amd64_linux/mwperl\" \"${MWHOME}/scripts/mwgeneric.pl\"";

// The destination and the common directory are typed by the user: they
// reach the shell as literal text (qv::shell_quote, or escaped inside the
// double-quoted value where %d puts the destination). The root key, key
// name, key value, value and module names come from the description, whose
// authors write them for the shell's reading inside these templates: in
// the double quotes "Software\\Quorvanta" has one backslash, \" is a
// quote, $QV_HOME the destination exported just before.
const char kRegDataTemplate[] =
    "(cd %s;QV_HOME=%s;export QV_HOME;MWHOME=%sApplication/mainwin/mw;export MWHOME;"
    "MWREGISTRY=%sApplication/registry;export MWREGISTRY;"
    "%s Application/mainwin/mw/bin-linux_optimized/regkey -r %s \"%s\" \"%s\" \"%s\") %s";

const char kSelfRegTemplate[] =
    "(cd %s;QV_HOME=%s;export QV_HOME;MWHOME=%sApplication/mainwin/mw;export MWHOME;"
    "MWREGISTRY=%sApplication/registry;export MWREGISTRY;"
    "QV_COMMONDIR=%s;export QV_COMMONDIR;%s %s) %s";

// Self-registration: the tavreg command collected in pass 3, run once in
// pass 4; after that nothing more happens in this process.
char *selfRegCommand = nullptr;
int selfRegDone = 0;

bool have_display()
{
    return QV_instGetMainTopLevelShell() != nullptr || std::getenv("DISPLAY") != nullptr;
}

// The text escaped for the inside of double quotes, where the shell still
// gives \\, ", $ and ` their meaning.
std::string double_quote_escape(const char *text)
{
    std::string out;
    for (const char *p = text; *p; ++p) {
        if (std::strchr("\\\"$`", *p))
            out += '\\';
        out += *p;
    }
    return out;
}

const char *redirect()
{
    return QV_instRedirect ? QV_instRedirect : "";
}

void drop_collected()
{
    std::free(selfRegCommand);
    selfRegCommand = nullptr;
}

} // namespace

extern "C" {

// Appended to every registry and registration command; QVINST_REDIRECT
// replaces it at start-up.
char *QV_instRedirect = defaultRedirect;

// Adds one value to the product's registry. 0 done (or skipped without a
// display), 101 on failure, reported on the pipe.
int QV_instRegData(const char *destination, const char *rootKey, const char *keyName, const char *keyValue,
                   const char *value, FILE *stream)
{
    // Without a destination the command would run in whatever directory
    // the installer happens to be in.
    if (!destination || !rootKey || !keyName || !keyValue || !value) {
        QV_instSendUpdate(stream, "-1 Error: internal error in QV_instAddRegData (0)\n");
        return 101;
    }
    const QV_instExpandKey table[] = {{'d', destination}, {0, nullptr}};
    qv::CStr expanded(QV_instExpandString(value, table));
    if (!expanded) {
        QV_instSendUpdate(stream, "-1 Error: internal error in QV_instAddRegData (0)\n");
        return 101;
    }
    if (!have_display()) {
        QV_instSendUpdate(stream, "Warning: (no display) can't add data to registry\n");
        return 0;
    }

    // The same expansion for the command, with the destination escaped for
    // the double quotes around the value.
    const std::string escaped = double_quote_escape(destination);
    const QV_instExpandKey shellTable[] = {{'d', escaped.c_str()}, {0, nullptr}};
    qv::CStr shellValue(QV_instExpandString(value, shellTable));
    std::string dest = qv::shell_quote(destination);
    qv::CStr command(shellValue ? QV_instStrPrint(kRegDataTemplate, dest.c_str(), dest.c_str(), dest.c_str(),
                                                  dest.c_str(), kLauncher, rootKey, keyName, keyValue,
                                                  shellValue.get(), redirect())
                                : nullptr);
    if (!command) {
        QV_instSendUpdate(stream, "-1 Error: internal error in QV_instAddRegData (2)\n");
        return 101;
    }
    if (std::system(command.get()) == 0)
        return 0;
    QV_instSendUpdate(stream, "-1 Error: adding rootkey=%s keyname=%s, keyvalue=%s, value=%s\n", rootKey, keyName,
                      keyValue, expanded.get());
    return 101;
}

// Registers a component: pass 3 collects the module's full path, the first
// call of pass 4 runs tavreg once with every collected module.
int QV_instSelfReg(const char *commonDir, const char *destination, const char *module, FILE *stream,
                   QV_CustomPass pass)
{
    if (selfRegDone || (pass != QV_PassFiles && pass != QV_PassRegistry))
        return 0;
    if (!destination || !module) {
        QV_instSendUpdate(stream, "-1 Error: internal error in QV_instRegisterModule (0)\n");
        return 101;
    }

    // The module name follows the quoted destination as it is, so that a
    // pattern in it still matches.
    std::string path = qv::shell_quote(destination) + module;
    if (pass == QV_PassFiles) {
        char *next = selfRegCommand ? QV_instStrPrint("%s %s", selfRegCommand, path.c_str())
                                    : QV_instStrPrint("Application/bin/tavreg %s", path.c_str());
        if (!next) {
            QV_instSendUpdate(stream, selfRegCommand ? "-1 Error: internal error in QV_instRegisterModule (2)\n"
                                                     : "-1 Error: internal error in QV_instRegisterModule (1)\n");
            return 101;
        }
        std::free(selfRegCommand);
        selfRegCommand = next;
        return 0;
    }

    if (!selfRegCommand) {
        QV_instSendUpdate(stream, "-1 Error: internal error in QV_instRegisterModule (4)\n");
        selfRegDone = 1;
        return 101;
    }
    if (!have_display()) {
        QV_instSendUpdate(stream, "Warning: (no display) can't register module %s\n", module);
        drop_collected();
        selfRegDone = 1;
        return 0;
    }

    std::string dest = qv::shell_quote(destination);
    qv::CStr command(QV_instStrPrint(kSelfRegTemplate, dest.c_str(), dest.c_str(), dest.c_str(), dest.c_str(),
                                     qv::shell_quote(commonDir).c_str(), kLauncher, selfRegCommand, redirect()));
    if (!command) {
        QV_instSendUpdate(stream, "-1 Error: internal error in QV_instRegisterModule (5)\n");
        return 101;
    }
    drop_collected();
    selfRegDone = 1;
    // The registration tool's own exit status is not examined.
    (void)std::system(command.get());
    return 0;
}

} // extern "C"
