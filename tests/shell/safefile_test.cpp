#include "shell/safefile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <thread>

#include "support/tempdir.h"

namespace fs = std::filesystem;

namespace {

std::string Text(const std::string& path) {
    std::vector<char> bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

int Write(const std::string& path, const std::string& text) {
    return WriteFileAtomically(path.c_str(), text.data(), static_cast<long>(text.size()));
}

// Names in a directory other than the ones expected: a left-over temporary file.
std::vector<std::string> Names(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

mode_t ModeOf(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

// A small tmpfs mounted for one test (root only).
class SmallMount {
public:
    explicit SmallMount(const fs::path& at, const char* options) : at_(at) {
        fs::create_directory(at_);
        mounted_ = mount("tmpfs", at_.c_str(), "tmpfs", 0, options) == 0;
    }
    ~SmallMount() {
        if (mounted_) umount(at_.c_str());
    }
    bool mounted() const { return mounted_; }
    int ReadOnly() { return mount("tmpfs", at_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr); }

private:
    fs::path at_;
    bool mounted_;
};

TEST(SafeFile, RegularFilesAndLinks) {
    TempDir dir;
    const std::string file = dir.File("a.set"), link = dir.File("link.set"), dangling = dir.File("new.set");

    // A new file gets the mode the umask leaves.
    ASSERT_EQ(Write(file, "one"), 0);
    EXPECT_EQ(Text(file), "one");
    mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(ModeOf(file) & 0777, 0666 & ~mask);

    // Replacing keeps the file's mode.
    fs::permissions(file, fs::perms(0640));
    ASSERT_EQ(Write(file, "two"), 0);
    EXPECT_EQ(Text(file), "two");
    EXPECT_EQ(ModeOf(file) & 07777, 0640u);

    // A link is followed: the file it names is replaced, the link stays a link.
    fs::create_symlink("a.set", link);
    ASSERT_EQ(Write(link, "three"), 0);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Text(file), "three");
    EXPECT_EQ(ModeOf(file) & 07777, 0640u);

    // A dangling link creates the file it names.
    fs::create_symlink("made.set", dangling);
    ASSERT_EQ(Write(dangling, "four"), 0);
    EXPECT_TRUE(fs::is_symlink(dangling));
    EXPECT_EQ(Text(dir.File("made.set")), "four");

    EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"a.set", "link.set", "made.set", "new.set"}));
}

TEST(SafeFile, DiscardKeepsThePreviousFile) {
    TempDir dir;
    const std::string file = dir.File("w.wfm");
    ASSERT_EQ(Write(file, "good"), 0);
    SafeFile f;
    ASSERT_EQ(OpenSafeFile(&f, file.c_str()), 0);
    ASSERT_EQ(WriteSafeFile(&f, "partial", 7), 0);
    EXPECT_EQ(Text(file), "good");  // nothing reaches the path before the commit
    DiscardSafeFile(&f);
    EXPECT_EQ(Text(file), "good");
    EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"w.wfm"});
}

TEST(SafeFile, RefusalsNameThePathAndTheReason) {
    TempDir dir;
    fs::create_directory(dir.File("sub"));
    struct Case {
        std::string path;
        std::string reason;
    } cases[] = {
        {dir.File("sub"), "Is a directory"},
        {dir.File("missing/a.set"), "No such file or directory"},
        {"", "No such file or directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(Write(c.path, "x"), -1);
        std::string problem = safe_file_problem;
        EXPECT_EQ(problem.rfind(c.path + ": " + c.reason, 0), 0u) << problem;
    }
    EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"sub"});
}

TEST(SafeFile, DevicesAndPipesAreWrittenInPlace) {
    TempDir dir;
    EXPECT_EQ(Write("/dev/null", "x"), 0);
    EXPECT_TRUE(fs::is_character_file("/dev/null"));

    // A full device: the write fails, the device is still there.
    EXPECT_EQ(Write("/dev/full", "x"), -1);
    EXPECT_NE(std::string(safe_file_problem).find("/dev/full: No space left on device"), std::string::npos);
    EXPECT_TRUE(fs::is_character_file("/dev/full"));

    // A named pipe: the reader gets every byte, the pipe stays a pipe.
    const std::string pipe = dir.File("pipe");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    std::string got;
    std::thread reader([&] { got = Text(pipe); });
    std::string sent(200000, 'p');
    EXPECT_EQ(Write(pipe, sent), 0);
    reader.join();
    EXPECT_EQ(got, sent);
    EXPECT_TRUE(fs::is_fifo(pipe));
    EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"pipe"});

    // A link to a device is followed to the device and never replaced.
    const std::string link = dir.File("null");
    fs::create_symlink("/dev/null", link);
    EXPECT_EQ(Write(link, "x"), 0);
    EXPECT_TRUE(fs::is_symlink(link));
}

TEST(SafeFile, ReadOnlyDirectoryKeepsTheFile) {
    TempDir dir;
    const fs::path ro = dir.path() / "ro";
    SmallMount mount_point(ro, "size=64k");
    const std::string file = (ro / "a.set").string();
    ASSERT_EQ(Write(file, "kept"), 0);
    if (mount_point.mounted()) {
        ASSERT_EQ(mount_point.ReadOnly(), 0);  // root ignores directory permissions
    } else {
        if (geteuid() == 0) GTEST_SKIP() << "root without mount";
        fs::permissions(ro, fs::perms(0555));
    }
    EXPECT_EQ(Write(file, "lost"), -1);
    std::string problem = safe_file_problem;
    EXPECT_NE(problem.find(file + ": "), std::string::npos);
    EXPECT_NE(problem.find("temporary file in " + ro.string()), std::string::npos) << problem;
    EXPECT_EQ(Text(file), "kept");
    EXPECT_EQ(Names(ro), std::vector<std::string>{"a.set"});
    if (!mount_point.mounted()) fs::permissions(ro, fs::perms(0755));
}

TEST(SafeFile, FullFileSystemKeepsThePreviousFile) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to mount a small tmpfs";
    TempDir dir;
    const fs::path small = dir.path() / "small";
    SmallMount mount_point(small, "size=64k");
    if (!mount_point.mounted()) GTEST_SKIP() << "cannot mount tmpfs here";
    const std::string file = (small / "w.wfm").string();
    ASSERT_EQ(Write(file, "previous"), 0);
    EXPECT_EQ(Write(file, std::string(256 * 1024, 'w')), -1);
    EXPECT_NE(std::string(safe_file_problem).find("No space left on device"), std::string::npos)
        << safe_file_problem;
    EXPECT_EQ(Text(file), "previous");
    EXPECT_EQ(Names(small), std::vector<std::string>{"w.wfm"});
    EXPECT_EQ(Write(file, "fits"), 0);  // the space of the failed attempt came back
    EXPECT_EQ(Text(file), "fits");
}

}  // namespace
