// Program entry of the installer: normalise the environment, read the
// command line (which performs the whole installation itself with
// -cmdline), then start the wizard.
#include <cstdlib>

#include "engine/cdinst.h"
#include "engine/install.h"
#include "wizard/startup.h"

int main(int argc, char **argv)
{
    // The installer must not pick up libraries or tools from the caller's
    // environment; the directories repeat on purpose (a fixed, known list).
    static char ldPath[] = "LD_LIBRARY_PATH=";
    static char path[] = "PATH=/usr/local/sbin:/usr/sbin:/sbin:/bin:/sbin:/usr/bin:/usr/sbin:/usr/local/bin:"
                         "/usr/local/sbin:/usr/bin/X11:/usr/X11R6/bin:/root/bin";
    putenv(ldPath);
    putenv(path);

    if (std::getenv("QVINST_DEBUG_MODE"))
        QV_instDebug = 1;
    if (char *redirect = std::getenv("QVINST_REDIRECT"))
        QV_instRedirect = redirect;

    char *cdinstPath = nullptr;
    char *rootDest = nullptr;
    QV_instProcessArgs(argc, argv, &cdinstPath, &rootDest);

    return qv::wizard_main(argc, argv, cdinstPath, rootDest);
}
