// Package sizes (block rounding on a real partition, module-reported
// sizes), the two-phase size walk over shared packages, the progress total,
// and free space and block size of a partition.
#include <dlfcn.h>
#include <sys/statvfs.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/cdinst.h"
#include "engine/handmade_model.h"
#include "support/testutil.h"

namespace {

// Operations linked into the packages of a hand-made model; freed (and
// their modules closed) with the object.
class Operations {
public:
    ~Operations()
    {
        for (QV_InstOperation *op : ops_) {
            if (op->type == QV_OPER_FUNCTION) {
                if (op->u.function.handle)
                    dlclose(op->u.function.handle);
                std::free(op->u.function.function);
                std::free(op->u.function.module);
                std::free(op->u.function.argument);
            }
            if (op->type == QV_OPER_UNTAR)
                std::free(op->u.tar.sizes);
            std::free(op);
        }
    }

    QV_InstOperation *add(_QV_InstPackage *p, int type, int64_t size)
    {
        auto *op = static_cast<QV_InstOperation *>(std::calloc(1, sizeof(QV_InstOperation)));
        op->type = type;
        op->size = size;
        if (p->lastOper)
            p->lastOper->next = op;
        else
            p->firstOper = op;
        p->lastOper = op;
        ops_.push_back(op);
        return op;
    }

    void untar(_QV_InstPackage *p, std::vector<int64_t> members)
    {
        QV_InstOperation *op = add(p, QV_OPER_UNTAR, 0);
        op->u.tar.count = static_cast<int32_t>(members.size());
        op->u.tar.sizes = static_cast<int64_t *>(std::calloc(members.size() + 1, sizeof(int64_t)));
        for (size_t i = 0; i < members.size(); ++i) {
            op->u.tar.sizes[i] = members[i];
            op->size += members[i];
        }
    }

    QV_InstOperation *function(_QV_InstPackage *p, const char *name, const char *module, const char *argument)
    {
        QV_InstOperation *op = add(p, QV_OPER_FUNCTION, 1);
        op->u.function.function = strdup(name);
        op->u.function.module = strdup(module);
        op->u.function.argument = strdup(argument);
        return op;
    }

private:
    std::vector<QV_InstOperation *> ops_;
};

uint64_t block_size_of(const std::string &dir)
{
    struct statvfs fs;
    EXPECT_EQ(statvfs(dir.c_str(), &fs), 0);
    return fs.f_bsize;
}

uint64_t round_up(uint64_t n, uint64_t b)
{
    return (n + b - 1) / b * b;
}

// A model whose product destination does not exist yet, below a scratch
// directory: its partition is the scratch directory's.
struct SizedModel {
    qvtest::ScratchDir scratch{"sizes"};
    qvtest::HandmadeModel model{(scratch.path() + "/root").c_str(), "Prod", "Prod", scratch.path().c_str()};
    qvtest::Loaded loaded{model.cd};
    Operations ops;
    uint64_t b = block_size_of(scratch.path());
};

TEST(PackageSizes, OperationsAreRoundedToWholeBlocksOfTheDestinationPartition)
{
    SizedModel m;
    const uint64_t b = m.b;
    struct Row {
        const char *what;
        std::vector<int64_t> copies; // Copy operations of these sizes
        bool mkdir;
        std::vector<int64_t> members; // one Untar with these member sizes
        uint64_t read, write;
    };
    const Row rows[] = {
        {"empty copy", {0}, false, {}, 1, b},
        {"one byte past a block", {4097}, false, {}, 4097, round_up(4097, b)},
        {"exactly one block", {static_cast<int64_t>(b)}, false, {}, b, b},
        {"directory", {}, true, {}, 1, b},
        {"archive members", {}, false, {1, static_cast<int64_t>(b), static_cast<int64_t>(b) + 1}, 2 * b + 2, 4 * b},
        {"no operations", {}, false, {}, 0, 0},
        {"mixed", {10, 0}, true, {5}, 10 + 1 + 1 + 5, 4 * b},
    };
    std::vector<_QV_InstPackage *> packages;
    for (const Row &row : rows) {
        _QV_InstPackage *p = m.model.package(row.what);
        for (int64_t size : row.copies)
            m.ops.add(p, QV_OPER_COPY, size);
        if (row.mkdir)
            m.ops.add(p, QV_OPER_MKDIR, 1);
        if (!row.members.empty())
            m.ops.untar(p, row.members);
        packages.push_back(p);
    }
    _QV_InstSuiteList *suite = m.model.suite("S", {packages[0], packages[1], packages[0]});

    ASSERT_EQ(QV_instSetSizes(m.model.cd), 0);
    for (size_t i = 0; i < packages.size(); ++i) {
        SCOPED_TRACE(rows[i].what);
        EXPECT_EQ(packages[i]->readSize, static_cast<int64_t>(rows[i].read));
        EXPECT_EQ(packages[i]->writeSize, static_cast<int64_t>(rows[i].write));
    }
    // Suite totals count a package the suite lists twice once.
    EXPECT_EQ(suite->readTotal, static_cast<int64_t>(1 + 4097));
    EXPECT_EQ(suite->writeTotal, static_cast<int64_t>(b + round_up(4097, b)));
    EXPECT_EQ(QV_instGetPackageSize(nullptr, 1, "", ""), static_cast<uint64_t>(-1));
    EXPECT_EQ(QV_instGetPackageSize(packages[0], 0, "", ""), static_cast<uint64_t>(-1));
}

TEST(PackageSizes, SizesCannotBeComputedWithoutPackagesOrDestination)
{
    qvtest::ScratchDir scratch("sizes");
    {
        qvtest::HandmadeModel none(scratch.path().c_str());
        EXPECT_EQ(QV_instSetSizes(none.cd), -1); // no package list
    }
    qvtest::HandmadeModel noRoot(nullptr);
    noRoot.package("p");
    EXPECT_EQ(QV_instSetSizes(noRoot.cd), -1);
}

// Copies the size module into <source>/SetupFiles, where modules are loaded from.
void install_size_module(const std::string &source)
{
    qvtest::make_dirs(source + "/SetupFiles");
    std::string so = qvtest::harness("QV_TEST_MODULES") + "/size_report.so";
    qvtest::write_file(source + "/SetupFiles/size_report.so", qvtest::read_file(so), 0755);
}

struct SizeReportSeen {
    int initCalls;
    int calls;
    int blockSizes[8];
    int passes[8];
    int initBeforeEach;
    const char *suite;
};

TEST(PackageSizes, ModuleReportsItsOwnSizeUnroundedAndIsAskedTwice)
{
    SizedModel m;
    install_size_module(m.scratch.path());
    _QV_InstPackage *p = m.model.package("withModule");
    QV_InstOperation *op = m.ops.function(p, "size_reported", "size_report.so", "10000");
    m.ops.add(p, QV_OPER_COPY, 0);

    ASSERT_EQ(QV_instSetSizes(m.model.cd), 0);
    EXPECT_EQ(p->readSize, 10000 + 1);
    EXPECT_EQ(p->writeSize, static_cast<int64_t>(10000 + m.b));

    ASSERT_NE(op->u.function.handle, nullptr);
    auto *seen = static_cast<SizeReportSeen *>(dlsym(op->u.function.handle, "size_report_seen"));
    ASSERT_NE(seen, nullptr);
    ASSERT_EQ(seen->calls, 2);
    EXPECT_EQ(seen->blockSizes[0], 1);
    EXPECT_EQ(seen->blockSizes[1], static_cast<int>(m.b));
    EXPECT_EQ(seen->passes[0], QV_PassSize);
    EXPECT_EQ(seen->passes[1], QV_PassSize);
    EXPECT_EQ(seen->initBeforeEach, 1);
    EXPECT_EQ(seen->suite, nullptr);
}

TEST(PackageSizesDeathTest, ModuleFailingItsSizeQueryEndsTheProgram)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    SizedModel m;
    install_size_module(m.scratch.path());
    _QV_InstPackage *p = m.model.package("pk");
    m.ops.function(p, "size_reported", "size_report.so", "fail");
    EXPECT_EXIT(QV_instSetSizes(m.model.cd), testing::ExitedWithCode(1),
                "Error: Internal error getting size of package 'pk' \\(size_reported\\)");
}

// Suite A (p, q) is being added beside suite B (q, r) under one options
// list; q is shared. Write sizes p=100, q=20, r=3 make every sum distinct.
struct SharedPackages {
    qvtest::ScratchDir scratch{"sizes"};
    qvtest::HandmadeModel model{scratch.path().c_str()};
    qvtest::Loaded loaded{model.cd};
    _QV_InstPackage *p = model.package("p");
    _QV_InstPackage *q = model.package("q");
    _QV_InstPackage *r = model.package("r");
    _QV_InstConfigList *list = model.cusDlg(1, {2, 3}, 1, 1);
    _QV_InstConfigList *a = model.suiteConfig(2, model.suite("A", {p, q}), 1, 0);
    _QV_InstConfigList *bConf = model.suiteConfig(3, model.suite("B", {q, r}), 1, 1);
    SharedPackages()
    {
        p->writeSize = 100, q->writeSize = 20, r->writeSize = 3;
        p->readSize = 1000, q->readSize = 200, r->readSize = 30;
    }
};

TEST(SizeWalk, SharedPackagesAreCountedOnceAcrossBothPhases)
{
    struct Row {
        const char *what;
        int bSelected;
        int absolute;
        int64_t write;
    };
    const Row rows[] = {
        {"B stays installed: only p is new", 1, 0, 100},
        {"B removed, A listed first: p + q - r", 0, 0, 100 + 20 - 3},
        {"B removed, absolute: everything touched", 0, 1, 100 + 20 + 3},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        SharedPackages m;
        m.bConf->selected = row.bSelected;
        EXPECT_EQ(QV_instGetWriteSize(m.model.cd, m.list, row.absolute), row.write);
    }
    SharedPackages m;
    m.bConf->selected = 0;
    EXPECT_EQ(QV_instGetReadSize(m.model.cd, m.list, 0), 1000 + 200 - 30);
}

TEST(SizeWalk, ListsInsideAListAndArgumentChecks)
{
    SharedPackages m;
    // The same selection one level deeper: an installed list (both states
    // 1) always passes its children's sum on.
    _QV_InstConfigList *outer = m.model.cusDlg(9, {1}, 1, 1);
    EXPECT_EQ(QV_instGetWriteSize(m.model.cd, outer, 0), 100);
    // An unknown child id adds nothing.
    _QV_InstConfigList *withUnknown = m.model.cusDlg(10, {42, 2}, 1, 1);
    EXPECT_EQ(QV_instGetWriteSize(m.model.cd, withUnknown, 0), 100 + 20);

    EXPECT_EQ(QV_instGetWriteSize(nullptr, m.list, 0), -1);
    EXPECT_EQ(QV_instGetWriteSize(m.model.cd, nullptr, 0), -1);
    EXPECT_EQ(QV_instGetReadSize(m.model.cd, nullptr, 0), -1);
    std::free(m.model.cd->sourceDir);
    m.model.cd->sourceDir = nullptr;
    m.model.cd->rootDest = nullptr; // no product destination
    EXPECT_EQ(QV_instGetWriteSize(m.model.cd, m.list, 0), -1);
}

TEST(SizeWalk, SuitesNeitherInstalledNorChosenCountNothingInANestedList)
{
    // A first installation: one suite chosen, and a sub-list that is chosen
    // while its own suite is not. Only the chosen suite takes room.
    qvtest::ScratchDir scratch("sizes");
    qvtest::HandmadeModel model(scratch.path().c_str());
    _QV_InstPackage *small = model.package("small");
    _QV_InstPackage *big = model.package("big");
    small->writeSize = 12288;
    big->writeSize = 307200;
    _QV_InstConfigList *top = model.cusDlg(1, {2, 3}, 1, 1);
    model.suiteConfig(2, model.suite("Small", {small}), 1, 0);
    model.cusDlg(3, {4}, 1, 0);
    model.suiteConfig(4, model.suite("Big", {big}), 0, 0);
    EXPECT_EQ(QV_instGetWriteSize(model.cd, top, 0), 12288);
    EXPECT_EQ(QV_instGetWriteSize(model.cd, top, 1), 12288);

    // The same list being removed: a suite that was never installed is not
    // taken away either.
    _QV_InstConfigList *gone = model.cusDlg(5, {4}, 0, 1);
    EXPECT_EQ(QV_instGetWriteSize(model.cd, gone, 0), 0);
}

TEST(SizeWalkDeathTest, MainDialogCannotBeSized)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    qvtest::HandmadeModel model("/opt/q");
    model.package("p");
    _QV_InstConfigList *main = model.mainDlg(1, {2});
    EXPECT_EXIT(QV_instGetSize(model.cd, main, 2, 0, 0), testing::ExitedWithCode(1),
                "Error: QV_instGetSize called on a MainDialog");
}

TEST(ProgressTotal, CountsPackagesThatChangeOnceAndLeavesCountersReset)
{
    SharedPackages m;
    // History: B installed (q, r); the user adds A and removes B.
    m.q->installed = 1;
    m.r->installed = 1;
    m.bConf->selected = 0;
    // p is added; q stays (A holds it); r is removed.
    EXPECT_EQ(QV_instGetTrueSize(m.model.cd, m.list, 1, 1), 1000 + 30);
    EXPECT_EQ(QV_instGetTrueSize(m.model.cd, m.list, 1, 0), 1000 - 30);
    EXPECT_EQ(QV_instGetTrueSize(m.model.cd, m.list, 2, 0), 100 - 3);
    for (_QV_InstPackage *pk : {m.p, m.q, m.r})
        EXPECT_EQ(pk->walkCount, 0);

    // A suite whose selected state equals its installed state changes nothing.
    SharedPackages n;
    EXPECT_EQ(QV_instGetTrueSize(n.model.cd, n.a, 1, 1), 1000 + 200);
    n.a->installed = 1;
    EXPECT_EQ(QV_instGetTrueSize(n.model.cd, n.a, 1, 1), 0);
}

TEST(DiskSpace, FreeSpaceBlockSizeAndUnits)
{
    qvtest::ScratchDir scratch("space");
    struct statvfs fs;
    ASSERT_EQ(statvfs(scratch.path().c_str(), &fs), 0);
    // Other processes write to the same disk meanwhile: compare loosely.
    const double free = static_cast<double>(fs.f_bsize) * static_cast<double>(fs.f_bavail);
    EXPECT_NEAR(static_cast<double>(QV_instGetAvailableSpace(scratch.path().c_str())), free, 256.0 * 1024 * 1024);
    EXPECT_EQ(QV_instGetAvailableSpace(""), -1);
    EXPECT_EQ(QV_instGetAvailableSpace(nullptr), -1);
    EXPECT_EQ(QV_instGetAvailableSpace((scratch / "missing").c_str()), -1);

    // The block size comes from the nearest existing ancestor.
    EXPECT_EQ(QV_instGetBlockSize((scratch / "not/yet/there").c_str()), static_cast<int64_t>(fs.f_bsize));
    qvtest::write_file(scratch / "file", "x");
    EXPECT_EQ(QV_instGetBlockSize((scratch / "file").c_str()), -1);

    EXPECT_DOUBLE_EQ(QV_instTranslateBytes2Megs(1048576), 1.0);
    EXPECT_DOUBLE_EQ(QV_instTranslateBytes2Gigs(int64_t{3} << 29), 1.5);
    EXPECT_DOUBLE_EQ(QV_instTranslateBytes2Ks(-2048), -2.0);
}

} // namespace
