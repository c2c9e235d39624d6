// Fakes of the host services for tests without a user interface.
//
//     TFakeHostServices host;
//     TComputer computer(..., host.Services());
//     ...
//     host.UiPoster.Pump();                        // runs what was posted
//     EXPECT_EQ(host.Title.Title(), "Quorvane - Debug");
#pragma once

#include "core/Host_services.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A manual queue: posted work waits until the test pumps it. Any thread may
// post; the thread that built the fake counts as the user-interface thread.
class TFakeUiPoster : public TUiPoster {
public:
    TFakeUiPoster();

    void PostToUi(std::function<void()> work) override;
    bool OnUiThread() const override;

    // Runs the queued work in order, including work posted while pumping,
    // and returns how many items ran.
    std::size_t Pump();
    std::size_t Pending() const;
    // Waits until something is queued (true) or the timeout passes (false).
    bool WaitForPost(std::chrono::milliseconds timeout);
    // Waits for posts and pumps them until the condition holds after a pump
    // (true) or the timeout passes (false).
    bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

private:
    mutable std::mutex Lock;
    std::condition_variable Posted;
    std::deque<std::function<void()>> Queue;
    std::thread::id UiThread;
};

// Records every message box instead of showing it.
class TFakeMessageService : public TMessageService {
public:
    struct TMessage {
        std::string Caption;
        std::string Text;
        bool operator==(const TMessage&) const = default;
    };

    void ShowMessageBox(const std::string& caption, const std::string& text) override;

    std::vector<TMessage> Messages() const;
    std::size_t Count() const;
    void Clear();

private:
    mutable std::mutex Lock;
    std::vector<TMessage> Shown;
};

// Records the application window's captions.
class TFakeTitleSink : public TTitleSink {
public:
    void SetTitle(const std::string& title) override;

    // The current caption ("" before any was set) and every caption in order.
    std::string Title() const;
    std::vector<std::string> Titles() const;

private:
    mutable std::mutex Lock;
    std::vector<std::string> History;
};

// The three fakes together.
struct TFakeHostServices {
    TFakeUiPoster UiPoster;
    TFakeMessageService Messages;
    TFakeTitleSink Title;

    THostServices Services() { return {&UiPoster, &Messages, &Title}; }
};
