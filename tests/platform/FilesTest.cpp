// The file layer under injected system-call faults.
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <tuple>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <orvik/Files.h>

#include "platform/posix/Files.h"
#include "support/SysCallFaults.h"
#include "support/TempDir.h"

namespace OrvikFramework {
namespace {

using Testing::readFile;
using Testing::writeFile;

// One-shot faults: the first call of the entry fails with the errno, later ones behave; the short writes come first.
int openFaultErrno = 0;
int ioFaultErrno = 0;
int shortWrites = 0;

// Consumes a one-shot fault: sets errno and says so.
bool fails(int& fault) { return fault && (errno = std::exchange(fault, 0), true); }

int faultyOpen(const char* path, int flags, mode_t mode) {
    return fails(openFaultErrno) ? -1 : realSysCalls().open(path, flags, mode);
}

ssize_t faultyWrite(int fd, const void* bytes, size_t length) {
    const bool shortWrite = shortWrites > 0 && length > 1;
    shortWrites -= shortWrite;
    if (!shortWrite && fails(ioFaultErrno)) return -1;
    return realSysCalls().write(fd, bytes, shortWrite ? length / 2 : length);
}

ssize_t faultyRead(int fd, void* buffer, size_t length) {
    return fails(ioFaultErrno) ? -1 : realSysCalls().read(fd, buffer, std::min<size_t>(length, 3));
}

class FilesFaults : public ::testing::Test {
protected:
    FilesFaults() {
        faults_.table().open = faultyOpen;
        faults_.table().write = faultyWrite;
        faults_.table().read = faultyRead;
    }
    ~FilesFaults() override { openFaultErrno = ioFaultErrno = shortWrites = 0; }

    Testing::SysCallFaults faults_;
    Testing::TempDir dir_;
    const std::string existing = dir_.file("existing.bin");
    const std::string missing = dir_.file("missing.bin");
};

// A failed write leaves the file as it was: an existing one cut back, a new one removed.
TEST_F(FilesFaults, AppendOrCreateRetriesInterruptionsAndNeverReplacesAFile) {
    struct Case {
        const char* name;
        int openErrno, ioErrno, shortWriteCount, expectedError;
        Data existingAfter, missingAfter;
    };
    const std::vector<Case> cases = {
        {"plain", 0, 0, 0, 0, {1, 2, 3, 9, 8, 7, 6}, {9, 8, 7, 6}},
        {"interrupted open", EINTR, 0, 0, 0, {1, 2, 3, 9, 8, 7, 6}, {9, 8, 7, 6}},
        {"interrupted write", 0, EINTR, 0, 0, {1, 2, 3, 9, 8, 7, 6}, {9, 8, 7, 6}},
        {"short writes", 0, 0, 3, 0, {1, 2, 3, 9, 8, 7, 6}, {9, 8, 7, 6}},
        {"read-only file", EACCES, 0, 0, EACCES, {1, 2, 3}, {}},
        {"disk full", 0, ENOSPC, 0, ENOSPC, {1, 2, 3}, {}},
        {"disk full halfway", 0, ENOSPC, 1, ENOSPC, {1, 2, 3}, {}},
    };
    for (const Case& c : cases) {
        writeFile(existing, {1, 2, 3});
        std::remove(missing.c_str());
        for (const auto& [path, after] : {std::pair{existing, c.existingAfter}, std::pair{missing, c.missingAfter}}) {
            std::tie(openFaultErrno, ioFaultErrno, shortWrites) = std::tuple(c.openErrno, c.ioErrno, c.shortWriteCount);
            EXPECT_EQ(Files::appendOrCreate(path, {9, 8, 7, 6}), c.expectedError) << c.name;
            EXPECT_EQ(readFile(path), after) << c.name;
        }
        EXPECT_EQ(access(missing.c_str(), F_OK) == 0, !c.missingAfter.empty()) << c.name;
    }
}

TEST_F(FilesFaults, ReadAllCollectsEveryByteOrReportsTheError) {
    writeFile(existing, Data(70000, 0x5A));
    Data bytes{0xAA};
    ioFaultErrno = EINTR;
    EXPECT_EQ(Files::readAll(existing, bytes), 0);
    EXPECT_EQ(bytes, Data(70000, 0x5A));
    ioFaultErrno = EIO;
    EXPECT_EQ(Files::readAll(existing, bytes), EIO);
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(Files::readAll(missing, bytes), ENOENT);
    EXPECT_EQ(Files::readAll(dir_.path().string(), bytes), EISDIR);
}

// Whatever sits at the target, the victim a symlink points to is never written and no temporary file stays.
TEST(WriteFileExclusive, CreatesOnlyNewFilesAndNeverWritesThroughASymlink) {
    namespace fs = std::filesystem;
    struct Case {
        const char* name;
        std::function<void(const std::string& target, const std::string& victim)> arrange;
        bool written;
        FileMode mode = FileMode::Readable;
        IfExists ifExists = IfExists::Refuse;
    };
    const std::vector<Case> cases = {
        {"new, readable", [](auto&, auto&) {}, true},
        {"new, owner only", [](auto&, auto&) {}, true, FileMode::OwnerOnly},
        {"existing file", [](auto& t, auto&) { writeFile(t, {7}); }, false},
        {"symlink to a file", [](auto& t, auto& v) { fs::create_symlink(v, t); }, false},
        {"dangling symlink", [](auto& t, auto&) { fs::create_symlink("/nonexistent/x", t); }, false},
        {"old temporary name is a symlink", [](auto& t, auto& v) { fs::create_symlink(v, t + ".part"); }, true},
        {"replacing a symlink replaces the link", [](auto& t, auto& v) { fs::create_symlink(v, t); }, true,
         FileMode::Readable, IfExists::Replace},
    };
    const mode_t umask = ::umask(0);
    ::umask(umask);
    for (const Case& c : cases) {
        Testing::TempDir dir;
        const std::string target = dir.file("out.bin"), victim = dir.file("victim");
        writeFile(victim, {1, 2});
        c.arrange(target, victim);
        const Status status = writeFileExclusive(target, {9, 9, 9}, c.mode, c.ifExists);
        EXPECT_EQ(!status, c.written) << c.name;
        EXPECT_EQ(readFile(victim), (Data{1, 2})) << c.name;
        for (const auto& entry : fs::directory_iterator(dir.path()))
            EXPECT_NE(entry.path().filename().string()[0], '.') << c.name << ": temporary file left";
        if (c.written) {
            EXPECT_EQ(readFile(target), (Data{9, 9, 9})) << c.name;
            struct stat st{};
            ASSERT_EQ(lstat(target.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 0777, static_cast<mode_t>(c.mode) & ~umask) << c.name;
        } else {
            EXPECT_EQ(status, (Error{ErrorCode::FileError, "\"" + target + "\" already exists"})) << c.name;
        }
    }
    EXPECT_EQ(writeFileExclusive("/nonexistent/out.bin", {1}).value_or(Error{}).message,
              "cannot write \"/nonexistent/out.bin\": No such file or directory");
}

}  // namespace
}  // namespace OrvikFramework
