/* Quorvanta Demo's setup module: writes the product's site configuration,
 * which records where this installation lives, and takes it away again when
 * the product is removed. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/cdinst.h"
#include "engine/util.h"

double ModuleVersion = 1.1;

/* Room the site configuration is given in the size computation; the file
 * itself is a few hundred bytes. Writing and removing it report this size,
 * so that the progress of a run adds up to the total it was given. */
#define SITE_CONF_BYTES 512

int initModule(const _QV_instCDinst *cdinst, QV_InstModuleArgs *args)
{
    (void)cdinst;
    (void)args;
    return 0;
}

/* The file is written the way the installer writes its own copies: into a
 * new file of its own beside it, which takes the file's name only once it
 * is complete. Whatever stood at the name before, a link to a file
 * elsewhere included, is replaced by the rename, never written through. */
static int write_site_conf(const char *path, QV_InstModuleArgs *args)
{
    char *temp = QV_instStrPrint("%s.XXXXXX", path);
    int fd = temp ? mkstemp(temp) : -1;
    FILE *f = NULL;
    if (fd >= 0 && fchmod(fd, 0644) == 0)
        f = fdopen(fd, "w");
    if (!f) {
        if (fd >= 0) {
            close(fd);
            unlink(temp);
        }
        free(temp);
        QV_instSendUpdate(args->pipe, "-1 Quorvanta Demo: can't write %s\n", path);
        return 1;
    }
    int n = fprintf(f,
                    "# Written by the Quorvanta Demo installer\n"
                    "product.name = %s\n"
                    "product.version = %s\n"
                    "install.root = %s\n"
                    "install.product = %s\n"
                    "install.shared = %s\n"
                    "install.source = %s\n"
                    "install.suite = %s\n",
                    QV_instGetProductName(), QV_instGetProductVersion(), args->root ? args->root : "",
                    args->destination, args->common ? args->common : "", args->source,
                    args->suite ? args->suite : "");
    if (fclose(f) != 0 || n < 0 || rename(temp, path) != 0) {
        unlink(temp);
        free(temp);
        QV_instSendUpdate(args->pipe, "-1 Quorvanta Demo: can't write %s\n", path);
        return 1;
    }
    free(temp);
    QV_instSendUpdate(args->pipe, "+%d %s\n", SITE_CONF_BYTES, path);
    return 0;
}

/* The argument names the file, relative to the product destination. */
int DemoWriteSiteConfig(const _QV_instCDinst *cdinst, QV_InstModuleArgs *args)
{
    (void)cdinst;
    if (args->pass == QV_PassSize) {
        int block = args->size > 0 ? args->size : 1;
        args->size = (SITE_CONF_BYTES + block - 1) / block * block;
        return 0;
    }
    char *path = QV_instBuildPath(args->destination, args->argument, (char *)NULL);
    if (!path) {
        QV_instSendUpdate(args->pipe, "-1 Quorvanta Demo: out of memory\n");
        return 1;
    }
    int result = 0;
    if (args->pass == QV_PassFiles && !args->remove) {
        result = write_site_conf(path, args);
        if (result == 0 && args->log)
            fprintf(args->log, "Quorvanta Demo: site configuration written to %s\n", path);
    } else if (args->pass == QV_PassFiles && args->remove) {
        unlink(path);
        QV_instSendUpdate(args->pipe, "+%d %s\n", SITE_CONF_BYTES, path);
    } else if (args->pass == QV_PassAfterFiles && !args->remove) {
        QV_instSendUpdate(args->pipe, "#Log:Quorvanta Demo: suite %s is ready\n", args->suite ? args->suite : "");
    }
    free(path);
    return result;
}
