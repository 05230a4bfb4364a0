#include "app/InstanceLock.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

namespace qv {
namespace {

class InstanceLockTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string templ = (std::filesystem::temp_directory_path() / "qvlock-XXXXXX").string();
        ASSERT_NE(::mkdtemp(templ.data()), nullptr);
        dir = templ;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::filesystem::path dir;
};

TEST_F(InstanceLockTest, SecondHolderIsRefusedUntilTheFirstEnds) {
    const std::string path = (dir / "quorvane.lock").string();
    {
        InstanceLock first(path);
        ASSERT_TRUE(first.Held());
        InstanceLock second(path);
        EXPECT_FALSE(second.Held());
        EXPECT_TRUE(second.HeldByOther());
    }
    // The file stays behind, as after a crash; it blocks nobody.
    ASSERT_TRUE(std::filesystem::exists(path));
    InstanceLock third(path);
    EXPECT_TRUE(third.Held());
}

TEST_F(InstanceLockTest, UnusableFolderIsAnErrorNotAnotherInstance) {
    InstanceLock lock((dir / "missing" / "quorvane.lock").string());
    EXPECT_FALSE(lock.Held());
    EXPECT_FALSE(lock.HeldByOther());
}

TEST_F(InstanceLockTest, DefaultPathFollowsTheRuntimeFolder) {
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = old != nullptr ? old : "";
    ::setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    EXPECT_EQ(InstanceLock::DefaultPath(), (dir / "quorvane.lock").string());
    ::unsetenv("XDG_RUNTIME_DIR");
    const std::string fallback = InstanceLock::DefaultPath();
    EXPECT_EQ(fallback, "/tmp/quorvane-" + std::to_string(::getuid()) + "/quorvane.lock");
    EXPECT_TRUE(std::filesystem::is_directory("/tmp/quorvane-" + std::to_string(::getuid())));
    if (old != nullptr) {
        ::setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    }
}

}  // namespace
}  // namespace qv
