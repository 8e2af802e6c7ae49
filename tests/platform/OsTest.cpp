#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/os/AtomicFile.h"
#include "platform/os/Os.h"
#include "platform/os/Thread.h"
#include "tests/FilePermissions.h"
#include "tests/TestDir.h"

namespace fs = std::filesystem;

class OsPathTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = os::StartDirectory();
        root_ = fs::temp_directory_path() / ("zt_os_" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "Scripts" / "Radio");
        std::ofstream(root_ / "Scripts" / "Radio" / "Station.TXT") << "x";
        std::ofstream(root_ / "Scripts" / "b.txt") << "b";
        std::ofstream(root_ / "Scripts" / "a.txt") << "a";
        os::SetStartDirectory(root_.string());
    }
    void TearDown() override {
        os::SetStartDirectory(saved_);
        fs::remove_all(root_);
    }
    std::string saved_;
    fs::path root_;
};

TEST_F(OsPathTest, ResolvesMixedCaseBackslashNames) {
    struct Case {
        const char* given;
        const char* expected;  // relative to the root
    } cases[] = {
        {"scripts\\radio\\station.txt", "Scripts/Radio/Station.TXT"},
        {"SCRIPTS/RADIO/STATION.txt", "Scripts/Radio/Station.TXT"},
        {"scripts\\new\\file.dat", "Scripts/new/file.dat"},  // missing parts kept as given
        {"Scripts\\.\\a.txt", "Scripts/a.txt"},
        {"Scripts\\Radio\\Station.TXT", "Scripts/Radio/Station.TXT"}, // as written: one stat
        {"Scripts\\Radio\\..\\A.TXT", "Scripts/a.txt"},
        {"scripts\\radio\\..\\..\\scripts\\b.txt", "Scripts/b.txt"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(os::ResolvePath(c.given), (root_ / c.expected).string()) << c.given;
    }
}

// A name differing from an existing one only in case reaches its own file
// when written exactly, and the first match otherwise.
TEST_F(OsPathTest, AnExactNameWinsOverItsCaseTwin) {
    std::ofstream(root_ / "Scripts" / "A.txt") << "A";
    std::string text;
    ASSERT_TRUE(os::ReadWholeFile("Scripts\\A.txt", &text));
    EXPECT_EQ(text, "A");
    ASSERT_TRUE(os::ReadWholeFile("Scripts\\a.txt", &text));
    EXPECT_EQ(text, "a");
}

TEST_F(OsPathTest, ReadsWholeFilesAndRefusesWhatIsNoFile) {
    std::string big(3 << 20, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = char(i * 7 + i / 4096);
    std::ofstream(root_ / "Scripts" / "Big.bin", std::ios::binary) << big;
    std::ofstream(root_ / "Scripts" / "Empty.bin", std::ios::binary);
    std::string text;
    ASSERT_TRUE(os::ReadWholeFile("scripts\\big.bin", &text));
    EXPECT_EQ(text, big);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(os::ReadWholeFile("scripts\\radio\\station.txt", &bytes));
    EXPECT_EQ(bytes, std::vector<uint8_t>{'x'});
    EXPECT_TRUE(os::ReadWholeFile("scripts\\empty.bin", &bytes));
    EXPECT_TRUE(bytes.empty());

    ASSERT_EQ(mkfifo((root_ / "Scripts" / "pipe").c_str(), 0600), 0);
    struct Case {
        const char* name;
        size_t maxBytes;
        int error;
    } cases[] = {
        {"scripts\\none.txt", SIZE_MAX, ENOENT},
        {"", SIZE_MAX, ENOENT},
        {"scripts\\radio", SIZE_MAX, EISDIR},
        {"scripts\\pipe", SIZE_MAX, EINVAL}, // read without waiting for a writer
        {"scripts\\big.bin", big.size() - 1, EFBIG},
    };
    for (const Case& c : cases) {
        text = "left over";
        errno = 0;
        EXPECT_FALSE(os::ReadWholeFile(c.name, &text, c.maxBytes)) << c.name;
        EXPECT_EQ(errno, c.error) << c.name;
        EXPECT_TRUE(text.empty()) << c.name;
    }
    EXPECT_TRUE(os::ReadWholeFile("scripts\\big.bin", &text, big.size()));
}

// A file read into memory of its own: from the heap below 2 MiB, from 2 MiB
// up a mapping that starts on a 2 MiB boundary (so that the system can back
// it with huge pages); every byte as in the file at the sizes around that
// boundary, one read replacing the last; refusals leave it empty.
TEST_F(OsPathTest, FileBytesHoldAWholeFileAtEverySize) {
    constexpr size_t kHuge = size_t(2) << 20;
    os::FileBytes bytes;
    for (size_t size : {size_t(0), size_t(1), size_t(4096), kHuge - 1, kHuge, kHuge + 1, 3 * kHuge + 123}) {
        SCOPED_TRACE(size);
        std::string content(size, '\0');
        for (size_t i = 0; i < size; ++i)
            content[i] = char(i * 13 + i / 4096 + size);
        std::ofstream(root_ / "Scripts" / "Sized.bin", std::ios::binary | std::ios::trunc) << content;
        ASSERT_TRUE(os::ReadWholeFile("scripts\\sized.bin", &bytes));
        ASSERT_EQ(bytes.size(), size);
        EXPECT_TRUE(bytes.view() == content);
        if (size >= kHuge) {
            EXPECT_EQ(reinterpret_cast<uintptr_t>(bytes.data()) % kHuge, 0u);
        }
    }
    errno = 0;
    EXPECT_FALSE(os::ReadWholeFile("scripts\\sized.bin", &bytes, 3 * kHuge));
    EXPECT_EQ(errno, EFBIG);
    EXPECT_EQ(bytes.size(), 0u);
    ASSERT_TRUE(os::ReadWholeFile("scripts\\sized.bin", &bytes));
    EXPECT_FALSE(os::ReadWholeFile("scripts\\radio", &bytes));
    EXPECT_EQ(errno, EISDIR);
    EXPECT_EQ(bytes.size(), 0u);
    EXPECT_EQ(bytes.data(), nullptr);
}

TEST_F(OsPathTest, NewFilesAreCreatedAsNamedInsideExistingFolders) {
    std::FILE* f = os::OpenFile("SCRIPTS\\New.Txt", "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_TRUE(fs::exists(root_ / "Scripts" / "New.Txt"));
    EXPECT_TRUE(os::FileExists("scripts\\new.txt"));
    EXPECT_TRUE(os::DeleteFile("scripts\\NEW.TXT"));
    EXPECT_FALSE(os::FileExists("scripts\\new.txt"));
}

TEST_F(OsPathTest, ListsSortedMatchesOnly) {
    auto list = os::ListDirectory("scripts\\*.TXT");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].name, "a.txt");
    EXPECT_EQ(list[1].name, "b.txt");
    auto all = os::ListDirectory("scripts\\*");
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].name, "Radio");
    EXPECT_TRUE(all[0].isDirectory);
}

TEST_F(OsPathTest, CopyCreateDirectoryAndSize) {
    EXPECT_TRUE(os::CreateDirectory("save\\deep\\er"));
    EXPECT_TRUE(os::DirectoryExists("SAVE\\Deep"));
    EXPECT_TRUE(os::CopyFile("scripts\\a.txt", "save\\c.txt", false));
    EXPECT_FALSE(os::CopyFile("scripts\\b.txt", "save\\c.txt", false));
    EXPECT_TRUE(os::CopyFile("scripts\\b.txt", "save\\c.txt", true));
    EXPECT_EQ(os::FileSize("save\\c.txt"), 1);
    EXPECT_EQ(os::FileSize("save\\none.txt"), -1);
    EXPECT_FALSE(os::CopyFile("scripts\\none.txt", "save\\d.txt", true));
}

// The handle closes on every way out: what was written is on disk once the
// handle is gone or closed, a moved-from handle closes nothing, and Close
// reports the close.
TEST_F(OsPathTest, FileHandleClosesOnEveryWayOut) {
    {
        os::File f = os::Open("scripts\\new.txt", "wb");
        ASSERT_TRUE(f);
        std::fputs("kept", f.get());
    }
    EXPECT_EQ(os::FileSize("scripts\\new.txt"), 4);

    os::File a = os::Open("scripts\\a.txt", "rb");
    os::File b = std::move(a);
    EXPECT_FALSE(a);
    EXPECT_FALSE(a.Close());
    ASSERT_TRUE(b);
    EXPECT_EQ(std::fgetc(b.get()), 'a');
    EXPECT_TRUE(b.Close());
    EXPECT_FALSE(b);

    EXPECT_FALSE(os::Open("scripts\\missing.txt", "rb"));
    EXPECT_FALSE(os::FileExists("scripts"));
    EXPECT_TRUE(os::FileExists("SCRIPTS\\A.TXT"));
}

TEST(OsWildcard, Matches) {
    struct Case {
        const char *pattern, *name;
        bool match;
    } cases[] = {
        {"*.txt", "a.TXT", true},   {"*.txt", "a.txt.bak", false}, {"a?c", "abc", true},
        {"a?c", "ac", false},       {"*", "", true},               {"*a*b*", "xxaYYb", true},
        {"*a*b*", "xxbYYa", false}, {"zt_screen*.bmp", "zt_screen0001.bmp", true},
    };
    for (const Case& c : cases) EXPECT_EQ(os::WildcardMatch(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
}

TEST(OsRand, ClassicSequenceAndRange) {
    os::Srand(1);
    // The classic generator's first values for seed 1.
    EXPECT_EQ(os::Rand(), 41);
    EXPECT_EQ(os::Rand(), 18467);
    EXPECT_EQ(os::Rand(), 6334);
    os::Srand(12345);
    for (int i = 0; i < 10000; ++i) {
        int v = os::Rand();
        ASSERT_GE(v, 0);
        ASSERT_LE(v, 32767);
    }
}

TEST(OsClock, MonotonicAndCalendar) {
    uint64_t a = os::PerformanceCounter();
    os::SleepMs(2);
    uint64_t b = os::PerformanceCounter();
    EXPECT_GT(b, a);
    EXPECT_GE((b - a) * 1000 / os::PerformanceFrequency(), 1u);
    os::CalendarTime t = os::LocalTime();
    EXPECT_GE(t.year, 2024);
    EXPECT_GE(t.month, 1);
    EXPECT_LE(t.month, 12);
}

TEST(OsInstanceLock, SecondHolderIsRefused) {
    os::InstanceLock first, second;
    const std::string name = "zt test lock " + std::to_string(::getpid());
    ASSERT_EQ(first.Acquire(name), os::InstanceLock::Result::Acquired);
    EXPECT_EQ(second.Acquire(name), os::InstanceLock::Result::Held);
    EXPECT_EQ(second.Error(), "") << "a held lock is no failure";
    first.Release();
    EXPECT_EQ(second.Acquire(name), os::InstanceLock::Result::Acquired);
}

// A lock file that cannot be made is a failure with its reason, never taken
// for a lock another process holds.
struct LockFailureCase {
    const char* what;
    const char* runtimeDir; // under the test's directory
    size_t nameLength;      // 0: a short name
    bool readOnly;
    const char* reason;
};

class OsInstanceLockFailure : public ::testing::TestWithParam<LockFailureCase> {
  protected:
    void SetUp() override {
        dir_ = FreshTestDir("zt_lock_");
        const char* saved = std::getenv("XDG_RUNTIME_DIR");
        hadRuntimeDir_ = saved != nullptr;
        if (saved) saved_ = saved;
    }
    void TearDown() override {
        if (hadRuntimeDir_) {
            setenv("XDG_RUNTIME_DIR", saved_.c_str(), 1);
        } else {
            unsetenv("XDG_RUNTIME_DIR");
        }
        fs::permissions(dir_, fs::perms::owner_all);
        fs::remove_all(dir_);
    }
    fs::path dir_;
    std::string saved_;
    bool hadRuntimeDir_ = false;
};

TEST_P(OsInstanceLockFailure, IsReportedWithItsReason) {
    const LockFailureCase& c = GetParam();
    std::ofstream(dir_ / "a file") << "x";
    const fs::path runtime = dir_ / c.runtimeDir;
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    const std::string name = c.nameLength ? std::string(c.nameLength, 'n') : "Brakmoor";
    if (!c.readOnly) {
        os::InstanceLock lock;
        EXPECT_EQ(lock.Acquire(name), os::InstanceLock::Result::Failed);
        EXPECT_NE(lock.Error().find(os::InstanceLock::LockPath(name)), std::string::npos) << lock.Error();
        EXPECT_NE(lock.Error().find(c.reason), std::string::npos) << lock.Error();
        return;
    }
    // Root writes anywhere: the child gives that up first.
    fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
    const pid_t child = fork();
    if (child == 0) {
        if (!testperm::ObeyFilePermissions()) _exit(2);
        os::InstanceLock lock;
        const bool failed = lock.Acquire(name) == os::InstanceLock::Result::Failed;
        _exit(failed && lock.Error().find(c.reason) != std::string::npos ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Os, OsInstanceLockFailure,
    ::testing::Values(LockFailureCase{"MissingDirectory", "missing", 0, false, "No such file"},
                      LockFailureCase{"AFileForTheDirectory", "a file", 0, false, "Not a directory"},
                      LockFailureCase{"NameTooLong", ".", 300, false, "File name too long"},
                      LockFailureCase{"ReadOnlyDirectory", ".", 0, true, "Permission denied"}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(OsSemaphore, CountAndMaximum) {
    os::Semaphore s(1, 1);
    EXPECT_FALSE(s.Release());  // already at its maximum
    EXPECT_TRUE(s.Wait(0));
    EXPECT_FALSE(s.Wait(5));
    EXPECT_TRUE(s.Release());
    EXPECT_TRUE(s.Wait(0));
}

namespace {
struct CountingThread : os::Thread {
    int runs = 0;
    void Run() override { ++runs; }
};
}  // namespace

TEST(OsThread, RunsOnceAndJoins) {
    CountingThread t;
    EXPECT_TRUE(t.Start());
    t.Join();
    EXPECT_EQ(t.runs, 1);
}

// ---- Files replaced whole ----------------------------------------------------

class OsAtomicFile : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = os::StartDirectory();
        dir_ = FreshTestDir("zt_atomic_");
        os::SetStartDirectory(dir_.string());
    }
    void TearDown() override {
        os::SetStartDirectory(saved_);
        fs::permissions(dir_, fs::perms::owner_all);
        fs::remove_all(dir_);
    }
    std::string Read(const fs::path& file) const {
        std::ifstream in(dir_ / file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string saved_;
    fs::path dir_;
};

// The start-up check of the data directory.
using OsWritableDirectory = OsAtomicFile;

TEST_F(OsWritableDirectory, AWritableDirectoryIsToldFromOneThatIsNot) {
    std::string reason;
    EXPECT_TRUE(os::CanWriteDirectory(dir_.string(), &reason)) << reason;
    EXPECT_TRUE(fs::is_empty(dir_)) << "the probe file is gone";
    EXPECT_FALSE(os::CanWriteDirectory((dir_ / "missing").string(), &reason));
    EXPECT_EQ(reason, "No such file or directory");
    // Read-only: root writes anywhere, so the child gives that up first.
    fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
    const pid_t child = fork();
    if (child == 0) {
        if (!testperm::ObeyFilePermissions()) _exit(2);
        std::string why;
        _exit(!os::CanWriteDirectory(dir_.string(), &why) && why == "Permission denied" ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST_F(OsAtomicFile, ReplacesTheTargetWholeAndKeepsItsPermissions) {
    std::ofstream(dir_ / "Zt.cfg") << "old content\n";
    fs::permissions(dir_ / "Zt.cfg", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    os::AtomicFile f("zt.cfg"); // the resolver finds the file in any letter case
    ASSERT_NE(f.File(), nullptr) << f.Error();
    std::fputs("new\n", f.File());
    EXPECT_EQ(Read("Zt.cfg"), "old content\n") << "nothing changes before the commit";
    ASSERT_TRUE(f.Commit()) << f.Error();
    EXPECT_EQ(Read("Zt.cfg"), "new\n");
    EXPECT_EQ(fs::status(dir_ / "Zt.cfg").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1)
        << "no file left over";
    EXPECT_FALSE(f.Commit()) << "a second commit has nothing to write";
}

TEST_F(OsAtomicFile, MakesANewFileAndFollowsASymbolicLink) {
    fs::create_directories(dir_ / "save");
    std::ofstream(dir_ / "real.cfg") << "old";
    fs::create_symlink(dir_ / "real.cfg", dir_ / "save" / "link.cfg");
    for (const char* name : {"save\\new.cfg", "save\\link.cfg"}) {
        os::AtomicFile f(name);
        std::fputs("written", f.File());
        EXPECT_TRUE(f.Commit()) << f.Error();
    }
    EXPECT_EQ(Read("save/new.cfg"), "written");
    EXPECT_TRUE(fs::is_symlink(dir_ / "save" / "link.cfg"));
    EXPECT_EQ(Read("real.cfg"), "written");
}

// Each way a rewrite can go wrong leaves the target as it was.
enum class Trouble { None, FileSizeLimit, KilledAtFileSizeLimit, ReadOnlyDirectory };

struct AtomicFailureCase {
    const char* what;
    const char* name; // the file written
    size_t length;    // bytes written
    Trouble trouble;
    bool commit;
    const char* reason; // in the error; null: killed, no error to read
};

class OsAtomicFileFailure : public OsAtomicFile, public ::testing::WithParamInterface<AtomicFailureCase> {};

TEST_P(OsAtomicFileFailure, LeavesTheTargetAsItWas) {
    const AtomicFailureCase& c = GetParam();
    const std::string good(300, 'g');
    std::ofstream(dir_ / "target.cfg") << good;
    fs::create_directories(dir_ / "dir.cfg");
    if (c.trouble == Trouble::ReadOnlyDirectory)
        fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
    // In a child: the limits and permissions it takes on are its own, and a
    // kill ends only it.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        rlimit limit{100, 100};
        if (c.trouble == Trouble::FileSizeLimit) signal(SIGXFSZ, SIG_IGN);
        if (c.trouble == Trouble::FileSizeLimit || c.trouble == Trouble::KilledAtFileSizeLimit)
            setrlimit(RLIMIT_FSIZE, &limit);
        if (c.trouble == Trouble::ReadOnlyDirectory && !testperm::ObeyFilePermissions()) _exit(2);
        bool committed = false;
        std::string error;
        {
            os::AtomicFile f(c.name);
            if (f.File()) std::fputs(std::string(c.length, 'n').c_str(), f.File());
            committed = c.commit && f.Commit();
            error = f.Error();
        }
        (void)!write(fds[1], error.data(), error.size());
        _exit(committed ? 0 : 1);
    }
    close(fds[1]);
    std::string error;
    char buf[256];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;)
        error.append(buf, size_t(n));
    close(fds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (c.reason) {
        ASSERT_TRUE(WIFEXITED(status)) << status;
        EXPECT_EQ(WEXITSTATUS(status), 1) << "the commit failed";
        if (c.commit) {
            EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        }
    } else {
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << status;
    }
    EXPECT_EQ(Read("target.cfg"), good);
    EXPECT_TRUE(fs::is_directory(dir_ / "dir.cfg"));
    if (c.reason) {
        EXPECT_FALSE(fs::exists(dir_ / "target.cfg.new")) << "the temporary file is gone";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Os, OsAtomicFileFailure,
    ::testing::Values(
        AtomicFailureCase{"NothingWritten", "target.cfg", 0, Trouble::None, true, "nothing was written"},
        AtomicFailureCase{"NoCommit", "target.cfg", 10, Trouble::None, false, ""},
        AtomicFailureCase{"AFailedWrite", "target.cfg", 1000, Trouble::FileSizeLimit, true, "File too large"},
        AtomicFailureCase{"KilledMidWrite", "target.cfg", 1000, Trouble::KilledAtFileSizeLimit, true,
                          nullptr},
        AtomicFailureCase{"ReadOnlyDirectory", "target.cfg", 3, Trouble::ReadOnlyDirectory, true,
                          "Permission denied"},
        AtomicFailureCase{"MissingDirectory", "missing\\target.cfg", 3, Trouble::None, true, "No such file"},
        AtomicFailureCase{"ADirectoryInTheWay", "dir.cfg", 3, Trouble::None, true, "Is a directory"}),
    [](const auto& info) { return std::string(info.param.what); });
