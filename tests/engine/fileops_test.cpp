// File operations against scratch trees with the real tools: copies and
// their progress lines, modes, directories, bzip2 files, tar archives fed
// to tar (plain and compressed), links, deletions and their protection,
// and the source prompt in text mode.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "engine/cdinst.h"
#include "engine/fileops.h"
#include "engine/fileops_internal.h"
#include "engine/handmade_model.h"
#include "support/testutil.h"

namespace {

// The protocol stream: what the operations send, line by line.
class Protocol {
public:
    Protocol() : stream_(open_memstream(&buf_, &len_)) {}
    ~Protocol()
    {
        std::fclose(stream_);
        std::free(buf_);
    }
    FILE *stream() { return stream_; }
    std::vector<std::string> lines()
    {
        std::fflush(stream_);
        std::vector<std::string> out;
        std::string all(buf_, len_);
        size_t start = 0;
        for (size_t nl; (nl = all.find('\n', start)) != std::string::npos; start = nl + 1)
            out.push_back(all.substr(start, nl - start));
        if (start < all.size())
            out.push_back(all.substr(start) + "<no newline>");
        return out;
    }

private:
    char *buf_ = nullptr;
    size_t len_ = 0;
    FILE *stream_;
};

// One root for the whole program: the installer's own copy in the product
// destination is named once per process, like in the install child.
const std::string &base()
{
    static qvtest::ScratchDir dir("fileops");
    return dir.path();
}

std::string real(const std::string &path)
{
    char buf[PATH_MAX];
    return realpath(path.c_str(), buf) ? buf : path;
}

std::string product_destination()
{
    return real(base()) + "/root/Prod/";
}

// Per test: a source and a destination folder, and a loaded description
// whose source directory is the source folder.
struct Tree {
    std::string dir = real(base()) + "/" + testing::UnitTest::GetInstance()->current_test_info()->name();
    std::string src = dir + "/src";
    std::string dst = dir + "/dst";
    qvtest::HandmadeModel model{(real(base()) + "/root").c_str(), "Prod", "Prod", src.c_str()};
    qvtest::Loaded loaded{model.cd};
    Protocol proto;
    Tree()
    {
        qvtest::make_dirs(src);
        qvtest::make_dirs(dst);
    }
};

std::string bytes(size_t n, unsigned seed = 7)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 131 + seed * 17 + i / 977) & 0xff);
    return s;
}

mode_t mode_of(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

void sh(const std::string &command)
{
    auto r = qvtest::run({"/bin/sh", "-c", command});
    ASSERT_EQ(r.status, 0) << command << "\n" << r.err;
}

std::string cwd()
{
    char buf[PATH_MAX];
    return getcwd(buf, sizeof buf) ? buf : "";
}

// bzip2 files made with the real bzip2.
void make_bz2(const std::string &path, const std::string &content)
{
    qvtest::write_file(path + ".raw", content);
    sh("bzip2 -c '" + path + ".raw' > '" + path + "' && rm '" + path + ".raw'");
}

std::vector<std::string> entries(const std::string &dir)
{
    auto r = qvtest::run({"/bin/ls", "-A", dir});
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t nl; (nl = r.out.find('\n', start)) != std::string::npos; start = nl + 1)
        out.push_back(r.out.substr(start, nl - start));
    return out;
}

TEST(CopyFile, CopiesBlockByBlockAndEndsWithZeroLineOnWholeBlocks)
{
    struct Row {
        size_t size;
        int mode;
        std::vector<std::string> counts; // the byte counts of the progress lines
    };
    const Row rows[] = {
        {0, 0644, {"0"}},
        {1, 0600, {"1"}},
        {10240, 0755, {"10240", "0"}},
        {10241, 0640, {"10240", "1"}},
        {25000, 0444, {"10240", "10240", "4520"}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.size);
        Tree t;
        std::string name = "f" + std::to_string(row.size);
        std::string content = bytes(row.size);
        qvtest::write_file(t.src + "/" + name, content);
        std::string target = t.dst + "/new/deeper/" + name; // directories are made on the way
        ASSERT_EQ(QV_instCopyFile(name.c_str(), target.c_str(), row.mode, static_cast<int64_t>(row.size),
                                  t.proto.stream(), 0),
                  0);
        EXPECT_EQ(qvtest::read_file(target), content);
        EXPECT_EQ(mode_of(target), static_cast<mode_t>(row.mode));
        std::vector<std::string> expected;
        for (const std::string &count : row.counts)
            expected.push_back("+" + count + " " + t.src + "/" + name + " " + target);
        EXPECT_EQ(t.proto.lines(), expected);
    }
}

TEST(CopyFile, SourceTheKernelCannotCopyGoesThroughABufferWithTheSameLines)
{
    Tree t;
    ASSERT_EQ(mkfifo((t.src + "/fifo").c_str(), 0644), 0);
    const std::string content = bytes(25000);
    std::thread writer([&] { qvtest::write_file(t.src + "/fifo", content); });
    const std::string target = t.dst + "/from-fifo";
    EXPECT_EQ(QV_instCopyFile("fifo", target.c_str(), 0600, 25000, t.proto.stream(), 0), 0);
    writer.join();
    EXPECT_EQ(qvtest::read_file(target), content);
    const std::string paths = " " + t.src + "/fifo " + target;
    EXPECT_EQ(t.proto.lines(), (std::vector<std::string>{"+10240" + paths, "+10240" + paths, "+4520" + paths}));
}

TEST(CopyFile, ReplacesAnExistingLongerFile)
{
    Tree t;
    qvtest::write_file(t.src + "/f", "short");
    qvtest::write_file(t.dst + "/f", std::string(50000, 'x'));
    ASSERT_EQ(QV_instCopyFile("f", (t.dst + "/f").c_str(), 0644, 5, nullptr, 0), 0);
    EXPECT_EQ(qvtest::read_file(t.dst + "/f"), "short");
}

// Run from the installed product with the original medium gone, the source
// directory falls back to the program's own, which is the destination: the
// description (and any file) is then copied onto itself. Truncating the
// destination would empty the source too.
TEST(CopyFile, SourceThatIsTheDestinationItselfKeepsItsContent)
{
    Tree t;
    const std::string content = bytes(25000);
    qvtest::write_file(t.src + "/same", content);
    const std::string target = t.src + "/same";
    ASSERT_EQ(QV_instCopyFile("same", target.c_str(), 0640, 25000, t.proto.stream(), 0), 0);
    EXPECT_TRUE(qvtest::read_file(target) == content);
    EXPECT_EQ(mode_of(target), 0640u);
    const std::string paths = " " + target + " " + target;
    EXPECT_EQ(t.proto.lines(), (std::vector<std::string>{"+10240" + paths, "+10240" + paths, "+4520" + paths}));

    // A hard link of the source at the destination is the same file as well.
    qvtest::write_file(t.src + "/linked", content);
    ASSERT_EQ(link((t.src + "/linked").c_str(), (t.dst + "/linked").c_str()), 0);
    ASSERT_EQ(QV_instCopyFile("linked", (t.dst + "/linked").c_str(), 0644, 25000, nullptr, 0), 0);
    EXPECT_TRUE(qvtest::read_file(t.src + "/linked") == content);
}

TEST(CopyFile, MissingSourceInTextModeIsSkippedWithoutErrorLine)
{
    Tree t;
    testing::internal::CaptureStdout();
    int result = QV_instCopyFile("missing.txt", (t.dst + "/missing.txt").c_str(), 0644, 3, t.proto.stream(), 0);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, 1);
    EXPECT_NE(out.find("Copyfile can't open file: missing.txt"), std::string::npos) << out;
    EXPECT_TRUE(t.proto.lines().empty());
    EXPECT_FALSE(qvtest::exists(t.dst + "/missing.txt"));
}

TEST(CopyFile, ErrorLinesForBadArgumentsAndUnwritableDestinations)
{
    Tree t;
    qvtest::write_file(t.src + "/f", "data");
    qvtest::write_file(t.dst + "/plain", "a file, not a folder");
    const std::string tooLong = t.dst + "/" + std::string(5000, 'n');
    struct Row {
        const char *source;
        std::string destination;
        std::string line;
    };
    const Row rows[] = {
        {"", t.dst + "/x", "-1 Copyfile invalid parameters"},
        {"f", "", "-1 Copyfile invalid parameters"},
        {"f", tooLong, "-1 Copyfile invalid parameters"},
        {"f", t.dst + "/plain/x", "-1 Copyfile can't create destination directory for: " + t.dst + "/plain/x"},
        {"f", t.dst, "-1 Copyfile can't create file " + t.dst},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.line);
        Protocol proto;
        EXPECT_EQ(QV_instCopyFile(row.source, row.destination.c_str(), 0644, 4, proto.stream(), 0), 1);
        ASSERT_FALSE(proto.lines().empty());
        EXPECT_EQ(proto.lines()[0], row.line);
    }
    Protocol proto;
    EXPECT_EQ(QV_instUncompress("f", (t.dst + "/plain/x").c_str(), 0644, 4, proto.stream(), 0), 1);
    EXPECT_EQ(proto.lines(),
              std::vector<std::string>{"-1 Uncompress can't create destination directory for: " + t.dst + "/plain/x"});
}

// A file installed 0600 (a licence key) is not readable by others even
// while it is written, whatever the umask: nothing in the destination
// folder has a wider mode during the copy.
TEST(CopyFile, PrivateFileIsNeverVisibleWithAWiderMode)
{
    Tree t;
    ASSERT_EQ(mkfifo((t.src + "/key").c_str(), 0644), 0);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    FILE *lines = fdopen(fds[0], "r");
    FILE *proto = fdopen(fds[1], "w");
    const std::string target = t.dst + "/key";
    const std::string content = bytes(20480);
    // Opened for reading and writing, the FIFO does not wait for the copy.
    int feed = open((t.src + "/key").c_str(), O_RDWR);
    ASSERT_GE(feed, 0);
    const mode_t umaskBefore = umask(0);
    int result = -1;
    std::thread copy([&] {
        result = QV_instCopyFile("key", target.c_str(), 0600, 20480, proto, 0);
        std::fclose(proto);
    });
    EXPECT_EQ(write(feed, content.data(), 10240), 10240);
    char line[8192];
    EXPECT_NE(std::fgets(line, sizeof line, lines), nullptr); // the first block is written
    for (const std::string &name : entries(t.dst))
        EXPECT_EQ(mode_of(t.dst + "/" + name) & 077, 0u) << name;
    EXPECT_EQ(write(feed, content.data() + 10240, 10240), 10240);
    close(feed);
    copy.join();
    umask(umaskBefore);
    std::fclose(lines);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(mode_of(target), 0600u);
    EXPECT_TRUE(qvtest::read_file(target) == content);
    EXPECT_EQ(entries(t.dst), std::vector<std::string>{"key"});
}

TEST(Mkdir, CreatesEveryMissingComponentAndReportsOnlyThose)
{
    Tree t;
    qvtest::make_dirs(t.dst + "/d1");
    qvtest::write_file(t.dst + "/file", "x");
    struct Row {
        std::string path;
        int result;
        std::vector<std::string> lines;
    };
    const std::string d = t.dst;
    const Row rows[] = {
        {d + "/d1/d2/d3", 0, {"+1 mkdir " + d + "/d1/d2", "+1 mkdir " + d + "/d1/d2/d3"}},
        {d + "/d1/d2/d3", 0, {}},
        {d + "/t1/t2/", 0, {"+1 mkdir " + d + "/t1", "+1 mkdir " + d + "/t1/t2"}},
        {d + "/file/sub", -1, {"-1 Mkdir file already exists " + d + "/file"}},
        {d + "/file", -1, {"-1 Mkdir file already exists " + d + "/file"}},
        {"", -1, {"-1 Mkdir invalid parameter"}},
        {"/" + std::string(4096, 'm'), -1, {"-1 Mkdir invalid parameter"}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.path.substr(0, 200));
        Protocol proto;
        EXPECT_EQ(QV_instMkdir(row.path.c_str(), 0750, proto.stream()), row.result);
        EXPECT_EQ(proto.lines(), row.lines);
    }
    struct stat st;
    ASSERT_EQ(stat((d + "/d1/d2/d3").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(QV_instMkdir(nullptr, 0755, nullptr), -1);
}

TEST(Uncompress, DecompressesWithProgressLinesAndMode)
{
    Tree t;
    std::string content = bytes(25000);
    // Blanks, quotes and shell characters in the name reach bunzip2 as one word.
    const std::string name = "odd name; touch PWNED '$(x)'.bz2";
    make_bz2(t.src + "/plain.bz2", content);
    ASSERT_EQ(rename((t.src + "/plain.bz2").c_str(), (t.src + "/" + name).c_str()), 0);
    std::string target = t.dst + "/out/file";
    ASSERT_EQ(QV_instUncompress(name.c_str(), target.c_str(), 0750, 25000, t.proto.stream(), 0), 0);
    EXPECT_EQ(qvtest::read_file(target), content);
    EXPECT_EQ(mode_of(target), 0750u);
    std::vector<std::string> expected;
    for (const char *n : {"10240", "10240", "4520"}) // no line of 0 bytes at the end
        expected.push_back("+" + std::string(n) + " " + t.src + "/" + name + " " + target);
    EXPECT_EQ(t.proto.lines(), expected);
    EXPECT_FALSE(qvtest::exists(cwd() + "/PWNED"));
    EXPECT_FALSE(qvtest::exists(t.src + "/PWNED"));
    EXPECT_EQ(entries(t.dst + "/out"), std::vector<std::string>{"file"});
}

TEST(Uncompress, MissingOrDamagedSourceKeepsTheInstalledFile)
{
    Tree t;
    make_bz2(t.src + "/damaged.bz2", bytes(200000));
    {
        // Cut the compressed data in the middle of its blocks.
        std::string data = qvtest::read_file(t.src + "/damaged.bz2");
        qvtest::write_file(t.src + "/damaged.bz2", data.substr(0, data.size() / 2));
    }
    qvtest::write_file(t.src + "/garbage.bz2", "this was never compressed");
    for (const char *name : {"missing.bz2", "damaged.bz2", "garbage.bz2"}) {
        SCOPED_TRACE(name);
        std::string target = t.dst + "/installed";
        qvtest::write_file(target, "the good installed file", 0644);
        Protocol proto;
        EXPECT_EQ(QV_instUncompress(name, target.c_str(), 0755, 10, proto.stream(), 0), 1);
        EXPECT_EQ(qvtest::read_file(target), "the good installed file");
        EXPECT_EQ(mode_of(target), 0644u);
        std::vector<std::string> lines = proto.lines();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), "-1 Uncompress couldn't close input file " + t.src + "/" + name);
        EXPECT_EQ(entries(t.dst), std::vector<std::string>{"installed"}); // no temporary left
    }
}

// Whatever ends the install child in the middle of a decompression, nothing
// is left beside the destination: no list names such a file, so nothing
// would ever remove it.
TEST(Uncompress, ChildKilledMidwayLeavesNothingBehind)
{
    Tree t;
    make_bz2(t.src + "/big.bz2", std::string(size_t{4} << 20, 'z'));
    qvtest::make_dirs(t.dst + "/out");
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    // The protocol pipe holds far fewer lines than the file makes and is
    // not drained, so the child waits at a line in the middle of the file.
    ASSERT_GT(fcntl(fds[1], F_SETPIPE_SZ, 4096), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(fds[0]);
        QV_instUncompress("big.bz2", (t.dst + "/out/big").c_str(), 0644, 0, fdopen(fds[1], "w"), 0);
        _exit(0);
    }
    close(fds[1]);
    char c;
    EXPECT_EQ(read(fds[0], &c, 1), 1); // the first block has been written
    kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    close(fds[0]);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(entries(t.dst + "/out"), std::vector<std::string>{});
}

TEST(Removal, DeletesTargetsButNeverTheInstallersCopyOrLoadedModules)
{
    Tree t;
    const std::string dest = product_destination();
    qvtest::make_dirs(dest);
    qvtest::write_file(dest + "setup", "installer");
    qvtest::write_file(t.dst + "/module.so", "module");
    qvtest::write_file(t.dst + "/plain", "plain");
    UpdateModuleList((t.dst + "/module.so").c_str());

    EXPECT_EQ(IsSetupExe((dest + "setup").c_str()), 1);
    EXPECT_EQ(IsSetupExe((t.dst + "/plain").c_str()), 0);

    // The removing operations succeed whatever the deletion did.
    EXPECT_EQ(QV_instCopyFile("setup", (dest + "setup").c_str(), 0755, 9, t.proto.stream(), 1), 0);
    EXPECT_EQ(QV_instUncompress("m.bz2", (t.dst + "/module.so").c_str(), 0755, 6, t.proto.stream(), 1), 0);
    EXPECT_EQ(QV_instCopyFile("plain", (t.dst + "/plain").c_str(), 0644, 5, t.proto.stream(), 1), 0);
    EXPECT_EQ(QV_instCopyFile("gone", (t.dst + "/gone").c_str(), 0644, 7, t.proto.stream(), 1), 0);
    EXPECT_EQ(t.proto.lines(), (std::vector<std::string>{"+5 " + t.dst + "/plain", "+7 " + t.dst + "/gone"}));
    EXPECT_TRUE(qvtest::exists(dest + "setup"));
    EXPECT_TRUE(qvtest::exists(t.dst + "/module.so"));
    EXPECT_FALSE(qvtest::exists(t.dst + "/plain"));

    EXPECT_EQ(QVinstDeleteFile((dest + "setup").c_str(), nullptr, 1), 1);
    EXPECT_EQ(QVinstDeleteFile((t.dst + "/module.so").c_str(), nullptr, 1), 1);
    EXPECT_EQ(QVinstDeleteFile((t.dst + "/gone").c_str(), nullptr, 1), -1);
}

TEST(Links, HardAndSoftLinksAndTheirRemoval)
{
    Tree t;
    qvtest::write_file(t.dst + "/target", "content");
    const std::string before = cwd();

    EXPECT_EQ(QV_instHardlink(t.dst.c_str(), "target", "hard", 1, t.proto.stream(), 0), 0);
    EXPECT_EQ(QV_instSoftlink(t.dst.c_str(), "../target", "bin/soft", 1, t.proto.stream(), 0), 0);
    // An existing link is replaced.
    EXPECT_EQ(QV_instSoftlink(t.dst.c_str(), "../target", "bin/soft", 1, t.proto.stream(), 0), 0);
    EXPECT_EQ(QV_instHardlink(t.dst.c_str(), "no-such-target", "broken", 1, t.proto.stream(), 0), 1);
    EXPECT_EQ(cwd(), before);
    EXPECT_EQ(t.proto.lines(), (std::vector<std::string>{
                                   "+1 Hardlink hard",
                                   "+1 Softlink bin/soft",
                                   "+1 Softlink bin/soft",
                                   "-1 Hardlink linking file no-such-target to broken",
                                   "+1 Hardlink broken",
                               }));
    struct stat a, b;
    ASSERT_EQ(stat((t.dst + "/target").c_str(), &a), 0);
    ASSERT_EQ(stat((t.dst + "/hard").c_str(), &b), 0);
    EXPECT_EQ(a.st_ino, b.st_ino);
    EXPECT_EQ(qvtest::read_file(t.dst + "/bin/soft"), "content");

    Protocol removal;
    EXPECT_EQ(QV_instSoftlink(t.dst.c_str(), "../target", "bin/soft", 1, removal.stream(), 1), 0);
    EXPECT_EQ(removal.lines(), std::vector<std::string>{"+1 " + t.dst + "/bin/soft"});
    struct stat l;
    EXPECT_NE(lstat((t.dst + "/bin/soft").c_str(), &l), 0);

    Protocol bad;
    EXPECT_EQ(QV_instHardlink(t.dst.c_str(), "", "x", 1, bad.stream(), 0), 1);
    EXPECT_EQ(QV_instSoftlink(t.dst.c_str(), "t", std::string(4097, 'l').c_str(), 1, bad.stream(), 0), 1);
    EXPECT_EQ(QV_instSoftlink((t.dst + "/none").c_str(), "t", "x", 1, bad.stream(), 0), 1);
    EXPECT_EQ(bad.lines(), (std::vector<std::string>{
                               "-1 Hardlink invalid parameters",
                               "-1 Softlink invalid parameters",
                               "-1 Softlink can't change directory to: " + t.dst + "/none:t->x",
                           }));
    EXPECT_EQ(cwd(), before);
}

// A tar part as the description lists it.
struct TarPart {
    std::vector<std::string> names;
    std::vector<int64_t> sizes;
    std::string file;
    std::vector<char *> namePtrs;
    _QV_InstTar tar{};
    TarPart(std::string archive, std::vector<std::string> n, std::vector<int64_t> s)
        : names(std::move(n)), sizes(std::move(s)), file(std::move(archive))
    {
        for (std::string &name : names)
            namePtrs.push_back(name.data());
        tar.file = file.data();
        tar.count = static_cast<int32_t>(names.size());
        tar.sizes = sizes.data();
        tar.names = namePtrs.data();
    }
};

std::vector<std::string> member_lines(const std::string &archive, const std::string &destDir, const TarPart &part)
{
    std::vector<std::string> out;
    for (size_t i = 0; i < part.names.size(); ++i)
        out.push_back("+" + std::to_string(part.sizes[i]) + " " + archive + " " + destDir + part.names[i]);
    return out;
}

TEST(Untar, ExtractsPlainAndCompressedArchivesReportingEachMemberOnce)
{
    Tree t;
    qvtest::make_dirs(t.src + "/content/sub");
    qvtest::write_file(t.src + "/content/a.txt", "alpha");
    qvtest::write_file(t.src + "/content/sub/b.bin", bytes(70000));
    qvtest::write_file(t.src + "/content/c.txt", "gamma");
    sh("cd '" + t.src + "/content' && tar -cf ../pack.tar a.txt sub c.txt && bzip2 -k ../pack.tar");
    TarPart plain("pack.tar", {"a.txt", "sub/", "sub/b.bin", "c.txt"}, {5, 1, 70000, 5});
    TarPart compressed("pack.tar.bz2", plain.names, plain.sizes);

    for (auto [part, flag] : {std::pair{&plain, 0}, std::pair{&compressed, 1}}) {
        SCOPED_TRACE(part->file);
        const std::string into = t.dst + "/" + std::to_string(flag) + "/";
        qvtest::make_dirs(into);
        Protocol proto;
        const std::string before = cwd();
        ASSERT_EQ(QV_instUntar(&part->tar, t.src.c_str(), into.c_str(), 70011, flag, proto.stream(),
                               QV_InstModeInstall),
                  0);
        EXPECT_EQ(cwd(), before);
        EXPECT_EQ(proto.lines(), member_lines(t.src + "/" + part->file, into, *part));
        EXPECT_EQ(qvtest::read_file(into + "a.txt"), "alpha");
        EXPECT_EQ(qvtest::read_file(into + "sub/b.bin"), bytes(70000));
        EXPECT_EQ(qvtest::read_file(into + "c.txt"), "gamma");
    }
}

TEST(Untar, ArchiveWithoutMembersAndTailAfterTheEndMarker)
{
    Tree t;
    // An archive without members: nothing to report.
    sh("cd '" + t.src + "' && tar -cf empty.tar --files-from /dev/null");
    TarPart none("empty.tar", {}, {});
    EXPECT_EQ(QV_instUntar(&none.tar, t.src.c_str(), t.dst.c_str(), 0, 0, t.proto.stream(), QV_InstModeInstall),
              0);
    EXPECT_TRUE(t.proto.lines().empty());

    // tar stops reading at the end marker; the zeros after it (a large
    // blocking factor) are not needed, compressed or not, and every member
    // is still reported once.
    qvtest::write_file(t.src + "/one.txt", "one");
    sh("cd '" + t.src + "' && tar -cf tail.tar one.txt && truncate -s 2M tail.tar && bzip2 -k tail.tar");
    for (auto [file, flag] : {std::pair{"tail.tar", 0}, std::pair{"tail.tar.bz2", 1}}) {
        SCOPED_TRACE(file);
        TarPart tail(file, {"one.txt"}, {3});
        const std::string into = t.dst + "/" + std::to_string(flag) + "/";
        qvtest::make_dirs(into);
        Protocol proto;
        EXPECT_EQ(QV_instUntar(&tail.tar, t.src.c_str(), into.c_str(), 3, flag, proto.stream(), QV_InstModeInstall), 0);
        EXPECT_EQ(proto.lines(), member_lines(t.src + "/" + file, into, tail));
        EXPECT_EQ(qvtest::read_file(into + "one.txt"), "one");
    }
}

TEST(Untar, DamagedArchivesFailTheOperation)
{
    Tree t;
    // Random content, so that the compressed archive is large enough to cut.
    sh("cd '" + t.src + "' && head -c 300000 /dev/urandom > big.bin && tar -cf whole.tar big.bin && head -c 20000 whole.tar > cut.tar"
       " && bzip2 -k whole.tar && head -c 30000 whole.tar.bz2 > cut.tar.bz2"
       " && printf 'not a tar archive at all' > junk.tar");
    struct Row {
        const char *file;
        int compressed;
    };
    for (Row row : {Row{"cut.tar", 0}, Row{"cut.tar.bz2", 1}, Row{"junk.tar", 0}, Row{"whole.tar", 1}}) {
        SCOPED_TRACE(row.file);
        TarPart part(row.file, {"big.bin"}, {300000});
        Protocol proto;
        EXPECT_EQ(QV_instUntar(&part.tar, t.src.c_str(), t.dst.c_str(), 300000, row.compressed, proto.stream(),
                               QV_InstModeInstall),
                  1);
        std::vector<std::string> lines = proto.lines();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), "-1 Untar couldn't extract file " + t.src + "/" + row.file);
    }
}

// SIGPIPE is ignored only while the archive is fed to tar: once the parent
// is gone, the next protocol line ends the child instead of letting it
// extract on unseen.
TEST(Untar, ProtocolLineToAGoneParentEndsTheChild)
{
    Tree t;
    qvtest::write_file(t.src + "/one.txt", "one");
    sh("cd '" + t.src + "' && tar -cf one.tar one.txt");
    TarPart part("one.tar", {"one.txt"}, {3});
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    close(fds[0]);
    FILE *gone = fdopen(fds[1], "w");
    EXPECT_EXIT(
        {
            signal(SIGPIPE, SIG_DFL);
            QV_instUntar(&part.tar, t.src.c_str(), t.dst.c_str(), 3, 0, gone, QV_InstModeInstall);
            std::_Exit(0);
        },
        testing::KilledBySignal(SIGPIPE), "");
    std::fclose(gone);
}

TEST(Untar, MembersCannotBeWrittenOutsideTheDestination)
{
    Tree t;
    qvtest::make_dirs(t.src + "/work");
    qvtest::write_file(t.src + "/climb.txt", "climb");
    qvtest::write_file(t.src + "/absolute.txt", "absolute");
    qvtest::write_file(t.src + "/work/inside.txt", "inside");
    const std::string abs = t.src + "/absolute.txt";
    sh("cd '" + t.src + "/work' && tar -cPf ../evil.tar inside.txt ../climb.txt '" + abs + "'");
    const std::string into = t.dst + "/x/y";
    qvtest::make_dirs(into);
    TarPart part("evil.tar", {"inside.txt", "../climb.txt", abs}, {6, 5, 8});
    qvtest::write_file(t.dst + "/x/climb.txt", "untouched");
    ::chmod(abs.c_str(), 0444);

    Protocol proto;
    EXPECT_EQ(QV_instUntar(&part.tar, t.src.c_str(), into.c_str(), 19, 0, proto.stream(), QV_InstModeInstall), 1);
    EXPECT_EQ(qvtest::read_file(into + "/inside.txt"), "inside");
    EXPECT_EQ(qvtest::read_file(t.dst + "/x/climb.txt"), "untouched");
    // An absolute name lands below the destination, never at its own path,
    // and the existing-member check does not touch the real file either.
    EXPECT_EQ(qvtest::read_file(into + abs), "absolute");
    EXPECT_EQ(mode_of(abs), 0444u);
}

TEST(Untar, ExistingReadOnlyMembersInTheDestinationBecomeWritable)
{
    Tree t;
    qvtest::write_file(t.src + "/new.txt", "new");
    sh("cd '" + t.src + "' && tar -cf pack.tar new.txt");
    // Listed by the description but not carried by this archive, so tar
    // leaves it alone and only the check changes it.
    TarPart part("pack.tar", {"new.txt", "old.txt", "link"}, {3, 3, 1});
    qvtest::write_file(t.dst + "/old.txt", "old", 0444);
    qvtest::write_file(t.src + "/outside", "outside", 0444);
    ASSERT_EQ(symlink((t.src + "/outside").c_str(), (t.dst + "/link").c_str()), 0);
    const std::string into = t.dst + "/";

    ASSERT_EQ(QV_instUntar(&part.tar, t.src.c_str(), into.c_str(), 7, 0, t.proto.stream(), QV_InstModeInstall), 0);
    EXPECT_EQ(mode_of(into + "old.txt"), 0644u);
    EXPECT_EQ(mode_of(t.src + "/outside"), 0444u); // a link is not followed
}

TEST(Untar, MissingArchiveAndBadArguments)
{
    Tree t;
    TarPart missing("missing.tar", {"a"}, {1});
    testing::internal::CaptureStdout();
    EXPECT_EQ(QV_instUntar(&missing.tar, t.src.c_str(), t.dst.c_str(), 1, 0, t.proto.stream(), QV_InstModeInstall),
              1);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Can't open tarfile: missing.tar"), std::string::npos) << out;
    EXPECT_TRUE(t.proto.lines().empty());

    qvtest::write_file(t.src + "/x.tar", "");
    TarPart present("x.tar", {"a"}, {1});
    struct Row {
        const _QV_InstTar *tar;
        std::string destDir;
        std::string line;
    };
    const Row rows[] = {
        {nullptr, t.dst, "-1 Untar invalid parameters"},
        {&present.tar, t.dst + "/" + std::string(4200, 'd'), "-1 Untar invalid parameters"},
        {&present.tar, t.dst + "/nowhere", "-1 Can't change directory to: " + t.dst + "/nowhere"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.line);
        Protocol proto;
        EXPECT_EQ(QV_instUntar(row.tar, t.src.c_str(), row.destDir.c_str(), 1, 0, proto.stream(),
                               QV_InstModeInstall),
                  1);
        EXPECT_EQ(proto.lines(), std::vector<std::string>{row.line});
    }
}

TEST(Untar, MemberProgressDoesNotWrapForArchivesOf4GiBAndMore)
{
    const uint64_t GiB = uint64_t{1} << 30;
    struct Row {
        int64_t count;
        uint64_t fed, size;
        int64_t index;
    };
    const Row rows[] = {
        {3, 0, 30, 0},
        {3, 10, 30, 1},
        {3, 30, 30, 2},
        {3, 31, 30, 2},                         // capped at the last member
        {3, 5 * GiB, 6 * GiB, 2},               // past 4 GiB fed
        {6, 4 * GiB + 10240, 6 * GiB, 4},       // just past the 32-bit wrap
        {INT32_MAX, 1ull << 40, 1ull << 41, (INT32_MAX - 1) / 2}, // product beyond 64 bits
        {4, 123, 0, 3},                         // an empty file reports everything at once
        {0, 10, 10, -1},
    };
    for (const Row &row : rows)
        EXPECT_EQ(qv::member_index(row.count, row.fed, row.size), row.index)
            << row.count << " " << row.fed << " " << row.size;
}

} // namespace
