// Small setup descriptions built record by record, for tests that need a
// model without reading a description file. The records are calloc'ed C
// structs laid out exactly as the reader makes them; the model frees them
// all when it goes out of scope (the source directory string may have been
// replaced by the code under test and is freed from the record).
#pragma once

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "engine/cdinst.h"

namespace qvtest {

class HandmadeModel {
public:
    explicit HandmadeModel(const char *root = "/opt/q", const char *productDir = "Prod",
                           const char *productName = "Prod", const char *sourceDir = "/tmp")
    {
        cd = alloc<_QV_instCDinst>();
        cd->menuInclude = 1;
        cd->displayLog = 1;
        cd->rootDest = str(root);
        cd->productDir = str(productDir);
        cd->productName = str(productName);
        cd->productVersion = str("1.0");
        cd->sourceDir = sourceDir ? strdup(sourceDir) : nullptr;
    }
    ~HandmadeModel()
    {
        std::free(cd->sourceDir);
        for (void *p : owned_)
            std::free(p);
    }
    HandmadeModel(const HandmadeModel &) = delete;
    HandmadeModel &operator=(const HandmadeModel &) = delete;

    // A string owned by the model (NULL stays NULL).
    char *str(const char *s)
    {
        if (!s)
            return nullptr;
        char *copy = strdup(s);
        owned_.push_back(copy);
        return copy;
    }

    _QV_InstPackage *package(const char *name, int installed = 0)
    {
        auto *p = alloc<_QV_InstPackage>();
        p->name = str(name);
        p->installed = installed;
        append(cd->firstPack, cd->lastPack, p);
        return p;
    }

    _QV_InstSuiteList *suite(const char *name, std::initializer_list<_QV_InstPackage *> packages)
    {
        auto *s = alloc<_QV_InstSuiteList>();
        s->name = str(name);
        for (_QV_InstPackage *p : packages)
            append(s->firstPack, s->lastPack, p);
        if (cd->lastSuite)
            cd->lastSuite->next = s;
        else
            cd->firstSuite = s;
        cd->lastSuite = s;
        return s;
    }

    _QV_InstConfigList *mainDlg(int id, std::initializer_list<int32_t> children)
    {
        auto *data = alloc<_QV_InstMainDlgData>();
        copyIds(data->children, QV_MAINDLG_CHILDREN, children);
        return config(id, QV_CONFIG_MAINDLG, 0, 0, data);
    }

    _QV_InstConfigList *cusDlg(int id, std::initializer_list<int32_t> children, int selected = 0, int installed = 0)
    {
        auto *data = alloc<_QV_InstCusDlgData>();
        copyIds(data->children, QV_CUSDLG_CHILDREN, children);
        return config(id, QV_CONFIG_CUSDLG, selected, installed, data);
    }

    _QV_InstConfigList *suiteConfig(int id, _QV_InstSuiteList *s, int selected = 0, int installed = 0)
    {
        auto *data = alloc<_QV_InstSuiteData>();
        data->suite = s;
        return config(id, QV_CONFIG_SUITE, selected, installed, data);
    }

    // A Function operation (not linked into a package).
    _QV_InstFunction *function(const char *name, const char *module, const char *argument = "")
    {
        auto *f = alloc<_QV_InstFunction>();
        f->function = str(name);
        f->module = str(module);
        f->argument = str(argument);
        return f;
    }

    _QV_instCDinst *cd;

private:
    template <class T> T *alloc()
    {
        T *p = static_cast<T *>(std::calloc(1, sizeof(T)));
        owned_.push_back(p);
        return p;
    }
    void append(_QV_InstPackNode *&first, _QV_InstPackNode *&last, _QV_InstPackage *p)
    {
        auto *node = alloc<_QV_InstPackNode>();
        node->package = p;
        if (last)
            last->next = node;
        else
            first = node;
        last = node;
    }
    static void copyIds(int32_t *dst, int max, std::initializer_list<int32_t> ids)
    {
        int n = 0;
        for (int32_t id : ids)
            if (n < max)
                dst[n++] = id;
    }
    _QV_InstConfigList *config(int id, int type, int selected, int installed, void *data)
    {
        auto *c = alloc<_QV_InstConfigList>();
        c->id = id;
        c->type = type;
        c->selected = selected;
        c->installed = installed;
        c->data.any = data;
        _QV_InstConfigList **tail = &cd->configs;
        while (*tail)
            tail = &(*tail)->next;
        *tail = c;
        return c;
    }

    std::vector<void *> owned_;
};

// Makes a model the loaded description for the scope of a test.
class Loaded {
public:
    explicit Loaded(_QV_instCDinst *cd) : saved_(CDInstPtr) { CDInstPtr = cd; }
    ~Loaded() { CDInstPtr = saved_; }
    Loaded(const Loaded &) = delete;
    Loaded &operator=(const Loaded &) = delete;

private:
    _QV_instCDinst *saved_;
};

} // namespace qvtest
