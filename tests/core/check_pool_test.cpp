#include "check_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace kestrix {
namespace {

// Held workers start no check; let go, or asked to finish, they run them all.
TEST(CheckPool, HeldWorkersStartNoCheckUntilLetGoOrFinishing)
{
    for (const bool letGo : {true, false}) {
        SCOPED_TRACE(letGo ? "let go" : "finishing");
        CheckPool pool;
        std::atomic<int> ran = 0;
        const CheckPool::Check check = [&ran](ItemType, std::span<const uint8_t>, const std::atomic<bool>&) {
            ++ran;
            return ItemStatus::Damaged;
        };
        pool.Hold(true);
        for (int k = 0; k < 40; ++k)
            pool.Add(check, ItemType::Gif, {});
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(ran, 0);
        if (letGo) {
            pool.Hold(false);
            while (ran < 40)
                std::this_thread::yield();
        }
        EXPECT_TRUE(pool.Finish({}));
        EXPECT_EQ(ran, 40);
        EXPECT_EQ(pool.Verdict(39), ItemStatus::Damaged);
    }
}

}  // namespace
}  // namespace kestrix
