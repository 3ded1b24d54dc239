// Selection state of the configuration tree: the walks that set the
// installed and selected states, count which suites need each package and
// how many packages a selection changes.
#include <cstdio>

#include "engine/cdinst.h"
#include "engine/internal.h"

namespace {

_QV_InstSuiteList *suiteOf(const _QV_InstConfigList *config)
{
    return config->data.suite ? config->data.suite->suite : nullptr;
}

} // namespace

extern "C" {

// Selects (or deselects) a configuration and every list and suite below it.
// A main dialog's buttons are separate choices, so its children keep their
// own states.
void QV_instMarkAllConfig(_QV_InstConfigList *config, int value)
{
    if (!config)
        return;
    config->selected = value;
    if (config->type != QV_CONFIG_CUSDLG)
        return;
    for (int32_t id : qv::children(config))
        QV_instMarkAllConfig(QV_instGetConfigFromId(CDInstPtr, id), value);
}

void QV_instResetAllConfig(const _QV_instCDinst *cdinst, _QV_InstConfigList *config, QV_instSuiteState state)
{
    if (!config)
        return;
    config->installed = state;
    config->selected = state;
    if (config->type != QV_CONFIG_CUSDLG)
        return;
    for (int32_t id : qv::children(config))
        QV_instResetAllConfig(cdinst, QV_instGetConfigFromId(cdinst, id), state);
}

// 1 when every options list below config (and config itself when
// requireSelf is set) is selected; suites and main dialogs do not count.
int QV_instIsAllConfigSelected(_QV_InstConfigList *config, int requireSelf)
{
    if (!config || config->type != QV_CONFIG_CUSDLG)
        return 1;
    if (requireSelf && !config->selected)
        return 0;
    int all = 1;
    for (int32_t id : qv::children(config)) {
        _QV_InstConfigList *child = QV_instGetConfigFromId(CDInstPtr, id);
        if (child)
            all &= QV_instIsAllConfigSelected(child, 1);
    }
    return all;
}

// clear != 0 zeroes the in-use counts of the packages below config; clear 0
// adds one for every selected suite that lists the package. Callers clear
// first and count second on the same configuration.
void UpdateNumInUseFlag(const _QV_instCDinst *cdinst, _QV_InstConfigList *config, int clear)
{
    if (!cdinst || !config) {
        std::puts("Invalid args to UpdateNumInUseFlag");
        return;
    }
    switch (config->type) {
    case QV_CONFIG_SUITE: {
        if (!clear && config->selected != 1)
            return;
        _QV_InstSuiteList *suite = suiteOf(config);
        for (_QV_InstPackNode *node = suite ? suite->firstPack : nullptr; node; node = node->next) {
            if (!node->package)
                continue;
            if (clear)
                node->package->inUse = 0;
            else
                node->package->inUse++;
        }
        return;
    }
    case QV_CONFIG_CUSDLG:
        for (int32_t id : qv::children(config))
            UpdateNumInUseFlag(cdinst, QV_instGetConfigFromId(cdinst, id), clear);
        return;
    default:
        std::puts("invalid suite type to UpdateNumInUseFlag");
        return;
    }
}

// How many packages the selection below config installs (needed and not
// installed) or removes (installed and needed by no selected suite). The
// in-use counts must be fresh (UpdateNumInUseFlag).
int NumPackagesAffected(const _QV_instCDinst *cdinst, _QV_InstConfigList *config)
{
    if (!cdinst || !config) {
        std::puts("Invalid args to NumPackagesAffected");
        return 0;
    }
    switch (config->type) {
    case QV_CONFIG_SUITE: {
        if (config->selected == config->installed)
            return 0;
        _QV_InstSuiteList *suite = suiteOf(config);
        int count = 0;
        for (_QV_InstPackNode *node = suite ? suite->firstPack : nullptr; node; node = node->next) {
            const _QV_InstPackage *p = node->package;
            if (!p)
                continue;
            if ((p->inUse != 0 && p->installed == 0) || (p->installed == 1 && p->inUse == 0))
                ++count;
        }
        return count;
    }
    case QV_CONFIG_CUSDLG: {
        int count = 0;
        for (int32_t id : qv::children(config))
            count += NumPackagesAffected(cdinst, QV_instGetConfigFromId(cdinst, id));
        return count;
    }
    default:
        std::puts("invalid suite type to NumPackagesAffected");
        return 0;
    }
}

// Marks the configuration of one installed suite (found in the history
// file) as installed and selected, together with every list on the way
// down to it, and the suite's packages as installed. A main dialog is not
// searched through: the search moves on to the records that follow it.
int UpdateInstalledFlag(const _QV_instCDinst *cdinst, _QV_InstConfigList *config, _QV_InstSuiteList *suite, int value)
{
    // A chain of main dialogs is walked in a loop rather than by recursion;
    // whatever the record after them finds, the answer is 0.
    bool passedMainDlg = false;
    while (config && config->type != QV_CONFIG_SUITE && config->type != QV_CONFIG_CUSDLG) {
        config = config->next;
        passedMainDlg = true;
    }
    if (!config)
        return 0;

    int found = 0;
    if (config->type == QV_CONFIG_SUITE) {
        if (suiteOf(config) != suite)
            return 0;
        config->installed = value;
        config->selected = value;
        if (!suite) {
            std::puts("Null pList to UpdateInstalledFlag");
            return passedMainDlg ? 0 : 1;
        }
        for (_QV_InstPackNode *node = suite->firstPack; node; node = node->next)
            if (node->package)
                node->package->installed = 1;
        found = 1;
    } else {
        for (int32_t id : qv::children(config))
            if (UpdateInstalledFlag(cdinst, QV_instGetConfigFromId(cdinst, id), suite, value))
                found = 1;
        if (found) {
            config->installed = value;
            config->selected = value;
        }
    }
    return passedMainDlg ? 0 : found;
}

} // extern "C"
