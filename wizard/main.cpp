// Program entry of the installer: normalise the process and its
// environment, read the command line (which performs the whole installation
// itself with -cmdline), then start the wizard.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "engine/cdinst.h"
#include "engine/install.h"
#include "wizard/startup.h"

namespace {

// A caller that closed standard input, output or error would hand their
// numbers to the first files and pipes the installer opens; a progress
// line or a message would then land in a product file or in the pipe.
void reserve_standard_descriptors()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1)
            continue;
        int null = open("/dev/null", O_RDWR);
        if (null < 0)
            std::_Exit(1);
        // The lower numbers are open by now, so this is fd itself.
        if (null != fd) {
            dup2(null, fd);
            close(null);
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    // Everything the installer creates (the history, the log, a user's new
    // .auxchestrc, directories on the way) gets its mode from the installer,
    // not from whatever umask the caller happened to have.
    umask(022);
    reserve_standard_descriptors();

    // The installer must not pick up libraries or tools from the caller's
    // environment; the directories repeat on purpose (a fixed, known list).
    static char ldPath[] = "LD_LIBRARY_PATH=";
    static char path[] = "PATH=/usr/local/sbin:/usr/sbin:/sbin:/bin:/sbin:/usr/bin:/usr/sbin:/usr/local/bin:"
                         "/usr/local/sbin:/usr/bin/X11:/usr/X11R6/bin:/root/bin";
    putenv(ldPath);
    putenv(path);
    // Nor may the caller's environment change what tar and bunzip2 do:
    // these variables add options to every run of them, among them options
    // that run commands.
    unsetenv("TAR_OPTIONS");
    unsetenv("BZIP");
    unsetenv("BZIP2");

    if (std::getenv("QVINST_DEBUG_MODE"))
        QV_instDebug = 1;
    if (char *redirect = std::getenv("QVINST_REDIRECT"))
        QV_instRedirect = redirect;

    char *cdinstPath = nullptr;
    char *rootDest = nullptr;
    QV_instProcessArgs(argc, argv, &cdinstPath, &rootDest);

    return qv::wizard_main(argc, argv, cdinstPath, rootDest);
}
