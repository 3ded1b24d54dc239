// Calling custom setup modules built from tests/fixtures/modules: the
// argument block as the module sees it, results, the log stream, error
// lines, reloading, callbacks into the program and the loaded-module list.
#include <dlfcn.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "engine/cdinst.h"
#include "engine/fileops.h"
#include "engine/util.h"
#include "handmade_model.h"
#include "support/testutil.h"

using qvtest::HandmadeModel;
using qvtest::Loaded;

namespace {

// Layout of the record in call_probe.c.
struct ProbeSeen {
    int initCalls;
    int calls;
    int initCallsAtLastCall;
    const _QV_instCDinst *initCdinst;
    const _QV_instCDinst *cdinst;
    QV_InstModuleArgs initBlock;
    QV_InstModuleArgs block;
    unsigned char rawBlock[sizeof(QV_InstModuleArgs)];
    char destination[4200];
};

// A stream whose text the test reads back.
class Capture {
public:
    Capture() : stream(open_memstream(&buf_, &len_)) {}
    ~Capture()
    {
        if (stream)
            std::fclose(stream);
        std::free(buf_);
    }
    std::string text()
    {
        std::fflush(stream);
        return std::string(buf_, len_);
    }
    FILE *stream;

private:
    char *buf_ = nullptr;
    size_t len_ = 0;
};

class ModuleCall : public ::testing::Test {
protected:
    void SetUp() override
    {
        qvtest::make_dirs(source + "/SetupFiles");
        ASSERT_EQ(QV_instInitLogfile(logPath.c_str()), 0);
    }

    // Copies a built fixture into the medium's SetupFiles under a name of
    // its own: each copy is a distinct file, so the dynamic loader gives
    // every test a fresh instance of the module.
    std::string install(const char *fixture, const char *as)
    {
        std::string to = source + "/SetupFiles/" + as;
        std::filesystem::copy_file(qvtest::harness("QV_TEST_MODULES") + "/" + fixture + ".so", to,
                                   std::filesystem::copy_options::overwrite_existing);
        return to;
    }

    QV_InstModuleArgs block(int pass = QV_PassFiles)
    {
        QV_InstModuleArgs args;
        std::memset(&args, 0xA5, sizeof args);
        args.shell = nullptr;
        args.pipe = pipe.stream;
        args.log = nullptr;
        args.root = "/opt/q/";
        args.common = "/opt/q/Quorvanta/";
        args.destination = "/opt/q/Prod/";
        args.source = source.c_str();
        args.argument = "the argument";
        args.package = "pkg";
        args.suite = "suite";
        args.remove = 0;
        args.size = 0;
        args.pass = pass;
        return args;
    }

    static ProbeSeen *seen(const _QV_InstFunction *f)
    {
        return f->handle ? static_cast<ProbeSeen *>(dlsym(f->handle, "call_probe_seen")) : nullptr;
    }

    qvtest::ScratchDir scratch{"access-mod"};
    std::string source = scratch / "medium";
    std::string logPath = scratch / "setup.log";
    HandmadeModel m;
    Loaded loaded{m.cd};
    Capture pipe;
};

TEST_F(ModuleCall, ModuleSeesEveryFieldOfTheBlock)
{
    install("call_probe", "probe.so");
    _QV_InstFunction *f = m.function("probe_record", "probe.so", "the argument");
    Widget fakeShell = reinterpret_cast<Widget>(0x5eed);

    struct Row {
        int pass, remove, size;
        bool sizeQuery;
    } rows[] = {
        {QV_PassBeforeFiles, 0, 0, false}, {QV_PassFiles, 0, 0, false}, {QV_PassRegistry, 1, 0, false},
        {QV_PassAfterFiles, 1, 0, false},  {QV_PassSize, 0, 4096, true},
    };
    int calls = 0;
    for (const Row &r : rows) {
        SCOPED_TRACE(r.pass);
        QV_InstModuleArgs args = block(r.pass);
        args.shell = fakeShell;
        args.remove = r.remove;
        args.size = r.size;
        if (r.sizeQuery) {
            args.pipe = nullptr;
            args.suite = nullptr;
            args.root = args.common = nullptr;
        }
        const QV_InstModuleArgs given = args;
        ASSERT_EQ(QV_instCustomFunction(f, &args, pipe.stream), 0);
        ++calls;

        ProbeSeen *s = seen(f);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->calls, calls);
        EXPECT_EQ(s->initCalls, calls);
        EXPECT_EQ(s->initCallsAtLastCall, calls) << "initModule runs before every call";
        EXPECT_EQ(s->cdinst, m.cd);
        EXPECT_EQ(s->initCdinst, m.cd);

        // Every field, byte for byte at its fixed offset, as the module
        // read it; only the log field is the callee's.
        EXPECT_NE(s->block.log, nullptr) << "the log is open for the call";
        QV_InstModuleArgs expected = given;
        expected.log = s->block.log;
        EXPECT_EQ(std::memcmp(s->rawBlock, &expected, offsetof(QV_InstModuleArgs, pass) + sizeof(int)), 0);
        // initModule saw the same block, before the log was opened.
        EXPECT_EQ(std::memcmp(&s->initBlock, &given, offsetof(QV_InstModuleArgs, pass) + sizeof(int)), 0);

        EXPECT_EQ(args.log, nullptr) << "the log is closed after the call";
        if (r.sizeQuery) {
            EXPECT_EQ(args.size, 4096 * 1000);
        }
    }
    EXPECT_EQ(qvtest::read_file(logPath), "probe_record the argument pass 2\n"
                                          "probe_record the argument pass 3\n"
                                          "probe_record the argument pass 4\n"
                                          "probe_record the argument pass 5\n"
                                          "probe_record the argument pass 1\n");
    EXPECT_EQ(pipe.text(), "");
}

TEST_F(ModuleCall, ResultsAndTheLogStream)
{
    install("call_probe", "probe.so");
    _QV_InstFunction *seven = m.function("probe_seven", "probe.so");
    _QV_InstFunction *closer = m.function("probe_closelog", "probe.so");
    QV_InstModuleArgs args = block();
    EXPECT_EQ(QV_instCustomFunction(seven, &args, pipe.stream), 7);
    EXPECT_EQ(QV_instCustomFunction(seven, &args, pipe.stream), 7);

    // The module closes the log and clears the field: no second close
    // (AddressSanitizer reports one as a use after free).
    args = block();
    EXPECT_EQ(QV_instCustomFunction(closer, &args, pipe.stream), 0);
    EXPECT_EQ(args.log, nullptr);
    EXPECT_EQ(qvtest::read_file(logPath), "closed by the module\n");
    EXPECT_EQ(pipe.text(), "");
}

TEST_F(ModuleCall, FailuresSendOneErrorLineAndReturn100)
{
    install("call_probe", "probe.so");
    install("call_noinit", "noinit.so");
    QV_InstModuleArgs args = block();

    struct Row {
        const char *function, *module;
        std::string line;
    } rows[] = {
        {"", "probe.so", "-1 Custom Function invalid parameters\n"},
        {"probe_record", "", "-1 Custom Function invalid parameters\n"},
        {nullptr, "probe.so", "-1 Custom Function invalid parameters\n"},
        {"probe_record", nullptr, "-1 Custom Function invalid parameters\n"},
        {"probe_record", "absent.so",
         "-1 Error: loading module absent.so " + source +
             "/SetupFiles/absent.so: cannot open shared object file: No such file or directory\n"},
        {"no_such_function", "probe.so", "-1 Error: function no_such_function not found in Module probe.so\n"},
        {"probe_record", "noinit.so", "-1 Error: function initModule not found in Module noinit.so\n"},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.line);
        Capture out;
        _QV_InstFunction *f = m.function(r.function, r.module);
        EXPECT_EQ(QV_instCustomFunction(f, &args, out.stream), 100);
        EXPECT_EQ(out.text(), r.line);
        EXPECT_EQ(f->handle, nullptr);
        EXPECT_EQ(f->address, nullptr);
    }

    Capture out;
    EXPECT_EQ(QV_instCustomFunction(m.function("probe_record", "probe.so"), nullptr, out.stream), 100);
    EXPECT_EQ(out.text(), "-1 Custom Function invalid parameters\n");
    // No stream (the size query): the failure is only the result.
    EXPECT_EQ(QV_instCustomFunction(m.function("probe_record", "absent.so"), &args, nullptr), 100);
}

TEST_F(ModuleCall, LoadsAgainAfterAFailedCall)
{
    std::string path = install("call_noinit", "fixed.so");
    _QV_InstFunction *f = m.function("probe_record", "fixed.so", "again");
    QV_InstModuleArgs args = block();
    EXPECT_EQ(QV_instCustomFunction(f, &args, pipe.stream), 100);
    EXPECT_EQ(f->handle, nullptr);

    // The medium now holds a module that works (the failed one was unloaded).
    std::filesystem::remove(path);
    install("call_probe", "fixed.so");
    args = block();
    EXPECT_EQ(QV_instCustomFunction(f, &args, pipe.stream), 0);
    ASSERT_NE(seen(f), nullptr);
    EXPECT_EQ(seen(f)->calls, 1);
    EXPECT_EQ(pipe.text(), "-1 Error: function initModule not found in Module fixed.so\n");
    EXPECT_TRUE(InModuleList(path.c_str()));
}

TEST_F(ModuleCall, TwoOperationsShareOneModuleListedOnce)
{
    std::string path = install("call_probe", "shared.so");
    _QV_InstFunction *first = m.function("probe_record", "shared.so");
    _QV_InstFunction *second = m.function("probe_seven", "shared.so");
    int before = UpdateModuleList((scratch / "marker-before").c_str());
    ASSERT_GT(before, 0);

    QV_InstModuleArgs args = block();
    EXPECT_EQ(QV_instCustomFunction(first, &args, pipe.stream), 0);
    EXPECT_EQ(QV_instCustomFunction(second, &args, pipe.stream), 7);
    EXPECT_EQ(QV_instCustomFunction(first, &args, pipe.stream), 0);
    // Each operation opened the module; the loader shares the one object.
    ASSERT_NE(first->handle, nullptr);
    EXPECT_EQ(first->handle, second->handle);
    EXPECT_EQ(seen(first)->calls, 3);
    EXPECT_EQ(seen(first)->initCalls, 3);

    EXPECT_EQ(InModuleList(path.c_str()), 1);
    EXPECT_EQ(UpdateModuleList(path.c_str()), 0);
    EXPECT_EQ(UpdateModuleList((scratch / "marker-after").c_str()), before + 2);
}

// A module must reach the program's own functions: the test program, like
// setup, exports them.
TEST_F(ModuleCall, ModuleCallsBackIntoTheProgram)
{
    install("call_probe", "back.so");
    _QV_InstFunction *f = m.function("probe_callback", "back.so", "from the module");
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    FILE *writeEnd = fdopen(fds[1], "w");
    FILE *readEnd = fdopen(fds[0], "r");
    ASSERT_TRUE(writeEnd && readEnd);

    QV_InstModuleArgs args = block();
    args.pipe = writeEnd;
    args.argument = f->argument; // the passes hand the operation's argument on
    EXPECT_EQ(QV_instCustomFunction(f, &args, writeEnd), 0);
    std::fclose(writeEnd);
    char line[256] = "";
    ASSERT_NE(std::fgets(line, sizeof line, readEnd), nullptr);
    std::fclose(readEnd);

    EXPECT_STREQ(line, "#Log:module saw /opt/q/Prod/\n");
    EXPECT_STREQ(seen(f)->destination, "/opt/q/Prod/");
    EXPECT_EQ(qvtest::read_file(logPath), "module Prod logged from the module\n");
}

TEST(ModuleList, FullListStillProtectsEveryPath)
{
    qvtest::ScratchDir scratch("access-list");
    // Whatever earlier tests listed, go well past the list's capacity.
    std::vector<std::string> paths;
    int last = 0;
    for (int i = 0; i < QV_MODULE_LIST_MAX + 20; ++i) {
        paths.push_back(scratch / ("m" + std::to_string(i) + ".so"));
        int count = UpdateModuleList(paths.back().c_str());
        if (i > 0) {
            EXPECT_EQ(count, last + 1) << "path " << i;
        }
        last = count;
    }
    EXPECT_GT(last, QV_MODULE_LIST_MAX);
    for (const std::string &p : paths) {
        EXPECT_EQ(InModuleList(p.c_str()), 1) << p;
        EXPECT_EQ(UpdateModuleList(p.c_str()), 0) << p;
    }
    EXPECT_EQ(InModuleList((scratch / "unlisted.so").c_str()), 0);
    EXPECT_EQ(InModuleList(nullptr), 0);
    EXPECT_EQ(UpdateModuleList(nullptr), 0);
}

// The point of the list: a removal never deletes a loaded module, even one
// loaded after the list proper filled up.
TEST_F(ModuleCall, RemovalKeepsModulesLoadedPastTheListCapacity)
{
    for (int i = 0; i <= QV_MODULE_LIST_MAX; ++i)
        UpdateModuleList((scratch / ("filler" + std::to_string(i))).c_str());
    std::string path = install("call_probe", "late.so");
    _QV_InstFunction *f = m.function("probe_record", "late.so");
    QV_InstModuleArgs args = block();
    ASSERT_EQ(QV_instCustomFunction(f, &args, pipe.stream), 0);

    Capture out;
    EXPECT_EQ(QVinstDeleteFile(path.c_str(), out.stream, 10), 1);
    EXPECT_TRUE(qvtest::exists(path));
    EXPECT_EQ(out.text(), "");
}

} // namespace
