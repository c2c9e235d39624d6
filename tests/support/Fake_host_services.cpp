#include "tests/support/Fake_host_services.h"

#include <algorithm>

// ---------------------------------------------------------------------------
// TFakeUiPoster

TFakeUiPoster::TFakeUiPoster()
    : UiThread(std::this_thread::get_id())
{
}

void TFakeUiPoster::PostToUi(std::function<void()> work)
{
    {
        std::lock_guard guard(Lock);
        Queue.push_back(std::move(work));
    }
    Posted.notify_all();
}

bool TFakeUiPoster::OnUiThread() const
{
    return std::this_thread::get_id() == UiThread;
}

std::size_t TFakeUiPoster::Pump()
{
    std::size_t ran = 0;
    for (;;) {
        std::function<void()> work;
        {
            std::lock_guard guard(Lock);
            if (Queue.empty())
                return ran;
            work = std::move(Queue.front());
            Queue.pop_front();
        }
        // Run outside the lock: the work may post again.
        if (work)
            work();
        ++ran;
    }
}

std::size_t TFakeUiPoster::Pending() const
{
    std::lock_guard guard(Lock);
    return Queue.size();
}

bool TFakeUiPoster::WaitForPost(std::chrono::milliseconds timeout)
{
    std::unique_lock guard(Lock);
    return Posted.wait_for(guard, timeout, [this] { return !Queue.empty(); });
}

bool TFakeUiPoster::PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    // The condition may also turn true without a post (a flag of a worker),
    // so the wait wakes now and then to look again.
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        Pump();
        if (done())
            return true;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            return false;
        std::unique_lock guard(Lock);
        Posted.wait_until(guard, std::min(deadline, now + std::chrono::milliseconds(5)),
            [this] { return !Queue.empty(); });
    }
}

// ---------------------------------------------------------------------------
// TFakeMessageService

void TFakeMessageService::ShowMessageBox(const std::string& caption, const std::string& text)
{
    std::lock_guard guard(Lock);
    Shown.push_back({caption, text});
}

std::vector<TFakeMessageService::TMessage> TFakeMessageService::Messages() const
{
    std::lock_guard guard(Lock);
    return Shown;
}

std::size_t TFakeMessageService::Count() const
{
    std::lock_guard guard(Lock);
    return Shown.size();
}

void TFakeMessageService::Clear()
{
    std::lock_guard guard(Lock);
    Shown.clear();
}

// ---------------------------------------------------------------------------
// TFakeTitleSink

void TFakeTitleSink::SetTitle(const std::string& title)
{
    std::lock_guard guard(Lock);
    History.push_back(title);
}

std::string TFakeTitleSink::Title() const
{
    std::lock_guard guard(Lock);
    return History.empty() ? std::string() : History.back();
}

std::vector<std::string> TFakeTitleSink::Titles() const
{
    std::lock_guard guard(Lock);
    return History;
}
