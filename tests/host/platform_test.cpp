// The host's operating-system layer on this system: files written whole
// (a new file beside the target, synced, then put in its place in one
// step) and the recursive locks behind critical regions.  (Leaving a region
// the thread does not hold is refused, but is a fault ThreadSanitizer
// reports, so it is not exercised here.)
#include "platform.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

namespace {

namespace fs = std::filesystem;

std::string read_all(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Folder {
    fs::path dir;
    Folder()
    {
        dir = fs::temp_directory_path() / ("platform_test_" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    ~Folder() { fs::remove_all(dir); }
    size_t entries() const { return (size_t)std::distance(fs::directory_iterator(dir), fs::directory_iterator()); }
};

} // namespace

TEST(Platform, AFileWrittenWholeTakesThePlaceAndPermissionsOfTheOldOne)
{
    Folder f;
    std::string target = (f.dir / "sound.wav").string();
    std::ofstream(target) << "old";
    chmod(target.c_str(), 0640);

    std::string temp;
    int fd = mh_temp_file_beside(target, &temp);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(fs::path(temp).parent_path(), f.dir);
    EXPECT_EQ(read_all(target), "old") << "the target is untouched while the new file is written";
    ASSERT_EQ(write(fd, "new", 3), 3);
    EXPECT_TRUE(mh_sync_file(fd));
    close(fd);
    ASSERT_TRUE(mh_replace_file(temp, target));

    EXPECT_EQ(read_all(target), "new");
    struct stat st;
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(f.entries(), 1u) << "no temporary file is left";
}

TEST(Platform, AFailedReplaceKeepsTheTargetAndSaysWhy)
{
    Folder f;
    std::string target = (f.dir / "image.png").string();
    std::ofstream(target) << "old";
    errno = 0;
    EXPECT_FALSE(mh_replace_file((f.dir / "gone").string(), target));
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(read_all(target), "old");

    std::string temp;
    EXPECT_EQ(mh_temp_file_beside((f.dir / "no folder" / "x.png").string(), &temp), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_FALSE(mh_remove_file((f.dir / "gone").string()));
}

TEST(Platform, ARegionIsRecursiveForItsHolderAndClosedToOtherThreads)
{
    t_critical r = mh_region_new();
    mh_region_lock(r);
    EXPECT_TRUE(mh_region_trylock(r)) << "the holder may enter again";
    bool entered = true;
    std::thread([&] { entered = mh_region_trylock(r); }).join();
    EXPECT_FALSE(entered);
    EXPECT_TRUE(mh_region_unlock(r));
    std::thread([&] { entered = mh_region_trylock(r); }).join();
    EXPECT_FALSE(entered) << "entered twice, left once: still held";
    EXPECT_TRUE(mh_region_unlock(r));
    std::thread([&] {
        entered = mh_region_trylock(r);
        if (entered)
            mh_region_unlock(r);
    }).join();
    EXPECT_TRUE(entered) << "left as often as entered: free";
    mh_region_free(r);
}
