// The wizard's glue between dialogs: the config store, window titles, size
// texts, the disk-space check, the Add/Remove rule and the two callbacks
// that open a nested main dialog or an options list.
#include "wizard/glue.h"

#include <Xm/MessageB.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/internal.h"
#include "engine/util.h"

extern "C" {
int QV_instInstallationMode = 0;
}

namespace {

// The configuration shown last and the ones that were current before it.
// The store is not a strict stack of what is on screen: it is pushed on
// every refill and popped only on a few ways back, so it clamps instead of
// failing (and says so on stdout).
constexpr int kConfigStoreMax = 100;
_QV_InstConfigList *currentConfig = nullptr;
_QV_InstConfigList *savedConfigs[kConfigStoreMax] = {};
int savedCount = 0;

// A copy of the configuration record that counts as wanted and not yet
// installed, so that its write size is the room its installation takes.
// The record itself keeps the user's states.
_QV_InstConfigList as_new_installation(const _QV_InstConfigList &config)
{
    _QV_InstConfigList copy = config;
    copy.installed = 1;
    copy.selected = 1;
    return copy;
}

int64_t required_bytes(_QV_InstConfigList *config)
{
    if (!config)
        return QV_instGetWriteSize(CDInstPtr, nullptr, 0);
    _QV_InstConfigList copy = as_new_installation(*config);
    return QV_instGetWriteSize(CDInstPtr, &copy, 0);
}

} // namespace

extern "C" {

void QV_instSetLastDlg(_QV_InstConfigList *config)
{
    if (savedCount < kConfigStoreMax)
        savedConfigs[savedCount++] = currentConfig;
    else
        std::puts("Overflow in config store");
    currentConfig = config;
}

_QV_InstConfigList *QV_instRestoreLastDlg(void)
{
    if (savedCount == 0) {
        std::puts("Underflow in config store");
        currentConfig = savedConfigs[0];
    } else {
        currentConfig = savedConfigs[--savedCount];
    }
    return currentConfig;
}

_QV_InstConfigList *QV_InstGetLastConfig(void)
{
    return currentConfig;
}

// Names the dialog's window "<product> setup" (dialogs start as
// "QUORVANTA|Setup" and switch when they are mapped).
void QV_instSetWindowTitle(Widget w)
{
    if (!w)
        return;
    Widget shell = QV_instGetShell(w);
    if (!shell)
        return;
    qv::CStr title(QV_instStrPrint("%s setup", QV_instGetProductName()));
    XtVaSetValues(shell, XtNtitle, title ? title.get() : "", nullptr);
}

void QV_instFormatSizeString(int64_t bytes, char *buffer)
{
    if (!buffer)
        return;
    // The magnitude is taken unsigned: negating INT64_MIN would overflow.
    // It is then clamped to INT64_MAX for the conversions, which changes
    // nothing at two decimals.
    uint64_t magnitude = bytes < 0 ? 0 - static_cast<uint64_t>(bytes) : static_cast<uint64_t>(bytes);
    int64_t a = magnitude > INT64_MAX ? INT64_MAX : static_cast<int64_t>(magnitude);
    if (a > 1073741823)
        std::snprintf(buffer, QV_SIZE_STRING_MAX, "%5.2f GB", QV_instTranslateBytes2Gigs(a));
    else if (a > 1048575)
        std::snprintf(buffer, QV_SIZE_STRING_MAX, "%5.2f MB", QV_instTranslateBytes2Megs(a));
    else
        std::snprintf(buffer, QV_SIZE_STRING_MAX, "%5.2f KB", QV_instTranslateBytes2Ks(a));
}

void QV_instGetFreeSpaceString(const char *path, char *buffer)
{
    qv::CStr dir(QV_instGetPartitionDirectory(path));
    if (!dir)
        return;
    QV_instFormatSizeString(QV_instGetAvailableSpace(dir.get()), buffer);
}

void QV_instGetRequiredSpaceString(_QV_InstPackNode *list, _QV_InstConfigList *config, char *buffer)
{
    if (!list || !config || !buffer)
        return;
    QV_instFormatSizeString(QV_instGetWriteSize(CDInstPtr, config, 0), buffer);
}

// Whether the selection fits on the destination's partition; if not, the
// user is told how much is needed and 0 keeps the asking dialog on screen.
// When no existing ancestor of the destination can be found the check
// passes: the installation itself will report what goes wrong.
int QV_instEnoughSpace(_QV_InstConfigList *config, const char * /*destination*/)
{
    int64_t required = required_bytes(config);
    qv::CStr dir(QV_instGetPartitionDirectory(QV_instGetDestinationDirectory()));
    if (!dir)
        return 1;
    int64_t available = QV_instGetAvailableSpace(dir.get());
    dir.reset();
    if (required < available)
        return 1;

    char availableText[QV_SIZE_STRING_MAX] = "";
    char neededText[QV_SIZE_STRING_MAX] = "";
    QV_instGetFreeSpaceString(QV_instGetDestinationDirectory(), availableText);
    if (CDInstPtr && CDInstPtr->firstPack && config) {
        _QV_InstConfigList copy = as_new_installation(*config);
        QV_instGetRequiredSpaceString(CDInstPtr->firstPack, &copy, neededText);
    }
    char message[512];
    std::snprintf(message, sizeof message, "Not Enough Disk Space\n%s Needed, Only %s Available", neededText,
                  availableText);
    QV_instOkCancelMessageBox(QV_instGetMainTopLevelShell(), message, "OK", nullptr, nullptr);
    return 0;
}

// A maintenance list that holds one single suite can only be removed as a
// whole, so "Add/Remove..." is greyed out and only "Remove all" is offered.
void QV_DisableAddButtonIfNecessary(void)
{
    if (!CDInstPtr || !pbMaintenanceAddRemove)
        return;
    const _QV_InstConfigList *list = QV_instGetConfigFromId(CDInstPtr, 2);
    if (!list || list->type != QV_CONFIG_CUSDLG || !list->data.cus)
        return;
    const int32_t *ids = list->data.cus->children;
    if (ids[0] == 0 || ids[1] != 0)
        return;
    const _QV_InstConfigList *only = QV_instGetConfigFromId(CDInstPtr, ids[0]);
    if (only && only->type == QV_CONFIG_SUITE)
        XtSetSensitive(pbMaintenanceAddRemove, False);
}

// Replaces the dialog of w (none when called from "Add/Remove...") by the
// options list of the configuration in clientData.
void QV_instConfigureCustomDlgCB(Widget w, XtPointer clientData, XtPointer)
{
    auto *config = static_cast<_QV_InstConfigList *>(clientData);
    if (Widget shell = QV_instGetShell(w))
        XtDestroyWidget(shell);
    mbCustom = CreatembCustom(QV_instGetMainTopLevelShell());
    // The add and remove counters only mean something in maintenance mode.
    if (QV_instInstallationMode != 1 && foCustomComponentCount)
        XtUnmanageChild(foCustomComponentCount);
    config->parent = QV_InstGetLastConfig();
    QV_instUISetCustomDlg(config);
    XtManageChild(mbCustom);
}

// Replaces the main dialog by the main dialog of the sub-menu in
// clientData; its "Cancel" leads back to the menu it was opened from.
void QV_instConfigureMainDlgCB(Widget w, XtPointer clientData, XtPointer)
{
    auto *config = static_cast<_QV_InstConfigList *>(clientData);
    Widget topLevel = QV_instGetTLShell(w);
    if (Widget shell = QV_instGetShell(mbMainDlg))
        XtDestroyWidget(shell);
    mbMainDlg = CreatembMainDlg(topLevel);
    QV_instUpdateLabelString(XmMessageBoxGetChild(mbMainDlg, XmDIALOG_CANCEL_BUTTON), "Cancel");
    config->parent = QV_InstGetLastConfig();
    QV_instUISetMainDlg(mbMainDlg, config);
    XtManageChild(mbMainDlg);
}

} // extern "C"
