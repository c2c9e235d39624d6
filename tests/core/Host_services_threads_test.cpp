// The host-service fakes the other tests rely on: work posted from worker
// threads reaches the test's own thread, in order, and nothing is lost.
#include "tests/support/Fake_host_services.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

TEST(FakeUiPoster, RunsPostedWorkOnlyWhenPumped)
{
    TFakeUiPoster poster;
    std::vector<int> order;
    poster.PostToUi([&] { order.push_back(1); });
    poster.PostToUi([&] {
        order.push_back(2);
        poster.PostToUi([&] { order.push_back(3); });   // posted while pumping
    });
    EXPECT_TRUE(order.empty());
    EXPECT_EQ(poster.Pending(), 2u);
    EXPECT_EQ(poster.Pump(), 3u);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(poster.Pump(), 0u);
    EXPECT_TRUE(poster.OnUiThread());
}

TEST(FakeUiPoster, CollectsWorkFromManyThreads)
{
    constexpr int Threads = 4, PostsEach = 500;
    TFakeHostServices host;
    THostServices services = host.Services();
    std::vector<std::vector<int>> seen(Threads);
    std::atomic<int> offUiThread{0};

    std::vector<std::thread> workers;
    for (int t = 0; t < Threads; ++t) {
        workers.emplace_back([&, t] {
            if (!services.UiPoster->OnUiThread())
                ++offUiThread;
            for (int i = 0; i < PostsEach; ++i)
                services.UiPoster->PostToUi([&seen, t, i] { seen[t].push_back(i); });
            services.Messages->ShowMessageBox("Worker", std::to_string(t));
        });
    }
    int total = 0;
    EXPECT_TRUE(host.UiPoster.PumpUntil(
        [&] {
            total = 0;
            for (const auto& list : seen)
                total += int(list.size());
            return total == Threads * PostsEach;
        },
        20s));
    for (std::thread& worker : workers)
        worker.join();

    EXPECT_EQ(offUiThread, Threads);
    for (const auto& list : seen) {
        ASSERT_EQ(list.size(), std::size_t(PostsEach));
        for (int i = 0; i < PostsEach; ++i)
            ASSERT_EQ(list[i], i) << "posts of one thread ran out of order";
    }
    EXPECT_EQ(host.Messages.Count(), std::size_t(Threads));
}

TEST(FakeUiPoster, WaitForPostEndsOnAPostOrTheTimeout)
{
    TFakeUiPoster poster;
    EXPECT_FALSE(poster.WaitForPost(1ms));
    std::thread worker([&] { poster.PostToUi([] {}); });
    EXPECT_TRUE(poster.WaitForPost(20s));
    worker.join();
    EXPECT_EQ(poster.Pump(), 1u);
}

TEST(FakeRecorders, KeepWhatWasShown)
{
    TFakeHostServices host;
    EXPECT_EQ(host.Title.Title(), "");
    host.Title.SetTitle("Quorvane - Run");
    host.Title.SetTitle("Quorvane - Debug");
    EXPECT_EQ(host.Title.Title(), "Quorvane - Debug");
    EXPECT_EQ(host.Title.Titles(), (std::vector<std::string>{"Quorvane - Run", "Quorvane - Debug"}));

    host.Messages.ShowMessageBox("File open error", "End of file reached.");
    EXPECT_EQ(host.Messages.Messages(),
        (std::vector<TFakeMessageService::TMessage>{{"File open error", "End of file reached."}}));
    host.Messages.Clear();
    EXPECT_EQ(host.Messages.Count(), 0u);
}
