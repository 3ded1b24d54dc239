// HTML help: the help folder of the medium, the browser started on a help
// page or web address, and the chooser that locates a browser when the
// default one is missing.
#include "wizard/viewers.h"

#include <sys/stat.h>
#include <unistd.h>

#include <Xm/FileSB.h>
#include <Xm/TextF.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/internal.h"
#include "engine/util.h"
#include "wizard/dialog.h"
#include "wizard/glue.h"

extern "C" {
char helpDirectory[4097] = "";
}

namespace {

constexpr const char kDefaultBrowser[] = "/usr/bin/firefox";
// The home page of the product's web site, opened when no page is named.
constexpr const char kDefaultAddress[] = "http://www.quorvanta.com/";

// The browser to start; absent until the first help request, and again
// after the user cancelled the chooser.
qv::CStr browser;
int chooserDone = 0;

bool file_exists(const char *path)
{
    struct stat st;
    return path && stat(path, &st) == 0;
}

} // namespace

extern "C" {

char *QV_instSetHelpDirectory(const char *dir)
{
    std::snprintf(helpDirectory, sizeof helpDirectory, "%s", dir ? dir : "");
    return helpDirectory;
}

// Opens help in the browser: a page of the help folder, else the web
// address, else the product's home page.
void QV_instHtmlHelpCB(Widget w, const char *helpFile, const char *address)
{
    if (!browser)
        browser.reset(strdup(kDefaultBrowser));
    if (browser && !file_exists(browser.get())) {
        qv::CStr question(QV_instStrPrint("The HTML Browser (%s) was not found.\nA browser is required to open help "
                                          "files.\nSelect Find to locate the browser yourself.",
                                          browser.get()));
        if (question &&
            QV_instOkCancelMessageBox(QV_instGetShell(w), question.get(), "Find...", "Cancel", nullptr) == 0) {
            // Without a display there is nothing to choose with.
            if (Widget top = QV_instGetTLShell(w))
                QV_instFindHtmlBrowser(top);
        }
    }
    if (!browser)
        return;

    std::string target;
    if (helpFile) {
        target = std::string(helpDirectory) + "/" + helpFile;
        QV_instRemoveExtraSlash(&target[0]);
        target.resize(std::strlen(target.c_str()));
    } else {
        target = address ? address : kDefaultAddress;
    }

    std::fflush(stdout);
    std::fflush(stderr);
    pid_t pid = fork();
    if (pid == 0) {
        execl(browser.get(), browser.get(), target.c_str(), static_cast<char *>(nullptr));
        _exit(1);
    }
    if (pid < 0)
        QV_instDisplayMessage(QV_instGetShell(w), "OK", nullptr, nullptr, "Error launching: %s %s", browser.get(),
                              target.c_str());
}

// Lets the user pick the browser program; waits until OK found a file or
// Cancel gave up.
void QV_instFindHtmlBrowser(Widget parent)
{
    chooserDone = 0;
    Widget shell = qv::create_dialog_shell(parent, "Find HTML Browser", nullptr, nullptr);
    qv::on_window_close(shell, QV_instFindBrowserCancelCB, nullptr);
    XmString mask = XmStringCreate(const_cast<char *>("/usr/bin/*"), const_cast<char *>(XmFONTLIST_DEFAULT_TAG));
    // The box stays up after OK: a name that is no file keeps it open.
    Widget box = XtVaCreateWidget("fsbHtmlBrowser", xmFileSelectionBoxWidgetClass, shell, XmNdirMask, mask,
                                  XmNwidth, 400, XmNheight, 500, XmNdialogStyle, XmDIALOG_FULL_APPLICATION_MODAL,
                                  XmNautoUnmanage, False, nullptr);
    XmStringFree(mask);
    XtAddCallback(XmFileSelectionBoxGetChild(box, XmDIALOG_CANCEL_BUTTON), XmNactivateCallback,
                  QV_instFindBrowserCancelCB, nullptr);
    XtAddCallback(XmFileSelectionBoxGetChild(box, XmDIALOG_OK_BUTTON), XmNactivateCallback, QV_instFindBrowserOkCB,
                  nullptr);
    XtUnmanageChild(XmFileSelectionBoxGetChild(box, XmDIALOG_HELP_BUTTON));
    XtManageChild(box);
    QV_instMainLoop(box, &chooserDone);
    XtDestroyWidget(shell);
}

// OK of the browser chooser: only an existing file is taken.
void QV_instFindBrowserOkCB(Widget w, XtPointer, XtPointer)
{
    Widget box = XtParent(w);
    char *chosen = XmTextFieldGetString(XmFileSelectionBoxGetChild(box, XmDIALOG_TEXT));
    if (!file_exists(chosen)) {
        QV_instDisplayMessage(QV_instGetShell(box), "OK", nullptr, nullptr, "The file '%s' does not exist",
                              chosen ? chosen : "");
        XtFree(chosen);
        return;
    }
    browser.reset(strdup(chosen));
    XtFree(chosen);
    chooserDone = 1;
}

// Cancel of the browser chooser: help is not opened, and the next request
// starts again from the default browser.
void QV_instFindBrowserCancelCB(Widget, XtPointer, XtPointer)
{
    browser.reset();
    chooserDone = 1;
}

} // extern "C"
