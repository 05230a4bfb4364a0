#include "common/ErrnoText.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <thread>
#include <vector>

namespace {

TEST(ErrnoText, NamesKnownNumbersInTheCLibrarysWords) {
    // Tests run in the C locale: the library's English texts.
    EXPECT_EQ(qv::ErrnoText(EACCES), "Permission denied");
    EXPECT_EQ(qv::ErrnoText(ENOENT), "No such file or directory");
}

TEST(ErrnoText, UnknownNumbersStillGiveText) {
    const std::string text = qv::ErrnoText(987654);
    EXPECT_FALSE(text.empty());
    EXPECT_NE(text, qv::ErrnoText(EACCES));
}

// Every thread gets the text of its own number, also for numbers the library
// formats into a buffer (unknown ones carry the number in their text).
TEST(ErrnoText, ThreadsDoNotShareTheText) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 20000;
    std::vector<int> wrong(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &wrong] {
            const int number = 900000 + t;
            const std::string first = qv::ErrnoText(number);
            const int known = t % 2 == 0 ? EACCES : ENOENT;
            const std::string knownText = qv::ErrnoText(known);
            for (int i = 0; i < kRounds; ++i) {
                if (qv::ErrnoText(number) != first || qv::ErrnoText(known) != knownText) {
                    ++wrong[static_cast<std::size_t>(t)];
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(wrong[static_cast<std::size_t>(t)], 0) << "thread " << t;
    }
#ifndef _WIN32
    // glibc writes unknown numbers into the text, so a shared buffer would show
    // above (Windows' C library calls them all "Unknown error").
    EXPECT_NE(qv::ErrnoText(900000), qv::ErrnoText(900001));
#endif
}

}  // namespace
