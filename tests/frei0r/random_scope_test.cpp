// A thread's private seed: what happens inside a scope never reaches the
// shared generator that the show's style sequence depends on, nor another
// thread, and what happens outside never reaches the scope.
#include "effects/random.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace mirel::test {
namespace {

std::vector<int32_t> Draw(int count)
{
    std::vector<int32_t> values;
    for (int i = 0; i < count; ++i)
        values.push_back(Random(1000));
    return values;
}

TEST(RandomScope, DrawsFromItsOwnSeedAndLeavesTheSharedOneAlone)
{
    SetRandSeed(0);
    const std::vector<int32_t> fromZero = Draw(6);
    SetRandSeed(12345);
    {
        const TRandomScope scope(0);
        EXPECT_EQ(Draw(6), fromZero); // the same sequence as the shared seed from 0
        SetRandSeed(777); // as the random squares do
        EXPECT_EQ(RandSeed(), 777u);
        {
            const TRandomScope inner(0);
            EXPECT_EQ(Draw(6), fromZero);
        }
        EXPECT_EQ(RandSeed(), 777u); // the outer scope resumes where it stood
    }
    EXPECT_EQ(RandSeed(), 12345u);

    // The show's documented start: 1, 5, 130, 31, 41, 101 from a fresh seed,
    // with frames drawn in scopes in between.
    SetRandSeed(0);
    std::vector<int32_t> styles;
    for (int i = 0; i < 6; ++i) {
        styles.push_back(Random(150) + 1);
        const TRandomScope frame(uint32_t(i) * 99991u);
        Draw(50);
    }
    EXPECT_EQ(styles, (std::vector<int32_t>{1, 5, 130, 31, 41, 101}));
}

TEST(RandomScope, IsPrivateToItsThread)
{
    SetRandSeed(42);
    std::vector<std::vector<int32_t>> seen(4);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < seen.size(); ++t)
        threads.emplace_back([t, &seen] {
            const TRandomScope scope{uint32_t(t)};
            for (int round = 0; round < 200; ++round) {
                SetRandSeed(uint32_t(t)); // every round restarts this thread's sequence
                const std::vector<int32_t> values = Draw(20);
                if (round == 0)
                    seen[t] = values;
                else if (values != seen[t])
                    seen[t].clear();
            }
        });
    for (auto& thread : threads)
        thread.join();
    for (size_t t = 0; t < seen.size(); ++t) {
        const TRandomScope again{uint32_t(t)};
        EXPECT_EQ(seen[t], Draw(20)) << "thread " << t << " saw another thread's draws";
    }
    EXPECT_EQ(RandSeed(), 42u);
}

} // namespace
} // namespace mirel::test
