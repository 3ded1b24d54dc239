// Graphical start-up of the wizard: the toolkit, the description, its
// sizes, the help folder and the first dialog (maintenance or welcome).
#include "wizard/startup.h"

#include <Xm/RepType.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/cdinst.h"
#include "engine/internal.h"
#include "engine/util.h"
#include "wizard/glue.h"

namespace {

[[noreturn]] void out_of_memory()
{
    std::fputs("Error: memory allocation\n", stderr);
    std::exit(1);
}

char *copy_or_die(const char *text)
{
    char *copy = strdup(text);
    if (!copy)
        out_of_memory();
    return copy;
}

// A start-up failure: the user sees why on the main shell, then setup ends
// with 1.
[[noreturn]] void fail_at_startup(Widget shell, const char *message)
{
    QV_instOkCancelMessageBox(shell, message, "OK", nullptr, nullptr);
    std::exit(1);
}

// Set while the wizard opens its display: the toolkit ends the process
// when it cannot, and the user then learns how to install without one.
bool g_openingDisplay = false;

void suggest_command_line()
{
    if (g_openingDisplay)
        std::fputs("Without a display, setup -cmdline installs without dialogs.\n", stderr);
}

} // namespace

extern "C" {

// The resources the wizard relies on are added as if typed after the
// program's own arguments; the command line has already been checked, so
// they never meet the option parser of the installer.
char **QV_instNewArgv(int *argc, char **argv)
{
    static const char *const extra[] = {"-xrm", "*sgiMode: false", "-xrm", "*useSchemes: all"};
    const int count = *argc;
    // One more slot than the arguments: the vector ends with a null entry,
    // which the toolkit's option parser may rewrite after removing options.
    auto **vector = static_cast<char **>(std::calloc(static_cast<size_t>(count) + 5, sizeof(char *)));
    if (!vector)
        out_of_memory();
    for (int i = 0; i < count; ++i)
        vector[i] = copy_or_die(argv[i]);
    for (int i = 0; i < 4; ++i)
        vector[count + i] = copy_or_die(extra[i]);
    *argc = count + 4;
    return vector;
}

void QV_instFreeArgv(int argc, char **argv)
{
    if (!argv)
        return;
    for (int i = 0; i < argc; ++i)
        std::free(argv[i]);
    std::free(argv);
}

} // extern "C"

namespace qv {

Widget open_application(int argc, char **argv, XtAppContext *app)
{
    char **args = QV_instNewArgv(&argc, argv);
    // The toolkit removes the options it consumes from the vector; the
    // strings it drops are remembered here and freed with the rest.
    std::vector<char *> given(args, args + argc);
    Widget top = XtVaAppInitialize(app, "QUORVANTA Setup", nullptr, 0, &argc, args, nullptr, nullptr);
    for (char *s : given) {
        if (std::find(args, args + argc, s) == args + argc)
            std::free(s);
    }
    QV_instFreeArgv(argc, args);
    RegisterBxConverters(*app);
    return top;
}

int wizard_main(int argc, char **argv, char *cdinstPath, char *rootDest)
{
    XtAppContext app;
    g_openingDisplay = true;
    std::atexit(suggest_command_line);
    Widget toolkitTop = open_application(argc, argv, &app);
    g_openingDisplay = false;
    XmRepTypeInstallTearOffModelConverter();
    Widget shell = QV_instCreateMainTopLevelShell(toolkitTop);

    CDInstPtr = QV_instReadCDinst(cdinstPath, nullptr);
    if (!CDInstPtr) {
        CStr message(QV_instStrPrint("Error reading setup configuration file\n<%s>\n"
                                     "Please make sure to run the setup directly from the CDROM",
                                     cdinstPath));
        std::free(cdinstPath);
        std::free(rootDest);
        fail_at_startup(shell, message ? message.get() : "Internal error at startup");
    }
    std::free(cdinstPath);
    // InstallDirectory of the description wins over -dest in the wizard.
    if (!CDInstPtr->rootDest)
        CDInstPtr->rootDest = rootDest;
    else
        std::free(rootDest);

    if (QV_instSetSizes(CDInstPtr) == -1)
        fail_at_startup(shell, "Error during initialization of size calculation");

    // Set before the history is read: a source folder taken from the
    // history file must not move the help.
    CStr help(QV_instBuildPath(QV_instGetCdinstDirectory(), "Setup/Help/", nullptr));
    if (!help)
        fail_at_startup(shell, "Error during help initilization");
    QV_instSetHelpDirectory(help.get());
    help.reset();

    int installedBefore =
        QV_UpdateSuiteHistory(CDInstPtr, QV_instGetConfigFromId(CDInstPtr, 2), CDInstPtr->firstSuite,
                              QV_instGetDestinationDirectory(), QV_instGetProductName(), QV_instGetProductVersion());
    if (installedBefore) {
        mbMaintenance = CreatembMaintenance(shell);
        QV_DisableAddButtonIfNecessary();
        XtManageChild(mbMaintenance);
    } else {
        XtManageChild(CreatembWelcome(shell));
    }

    XtAppMainLoop(app);
    return 0;
}

} // namespace qv
