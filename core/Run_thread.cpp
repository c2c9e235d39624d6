#include "core/Run_thread.h"

#include "core/Clock.h"
#include "core/Computer.h"
#include "core/Thread_name.h"
#include "host/Key_thread.h"

#include <cerrno>
#include <system_error>

TRunThread::TRunThread(TComputer* computer)
    : Computer(computer)
{
    if (FailStart.exchange(false, std::memory_order_relaxed))
        throw std::system_error(EAGAIN, std::generic_category(), "thread creation refused");
    Thread = std::thread([this] { Execute(); });
}

TRunThread::~TRunThread()
{
    Join();
}

void TRunThread::Join()
{
    if (Thread.joinable())
        Thread.join();
}

void TRunThread::Execute()
{
    Id.store(std::this_thread::get_id(), std::memory_order_release);
    NameCurrentThread("quorvane-run");
    RaiseCurrentThreadPriority();

    Computer->SetRunning(1);
    if (g_Clock)
        g_Clock->SetEmulating(1);
    // Keys held now are pressed again, then key events reach the machine.
    if (g_KeyThread)
        g_KeyThread->EnableForEmulation();

    Computer->RunLoop();

    if (g_KeyThread)
        g_KeyThread->DisableForEmulation();
    if (g_Clock)
        g_Clock->SetEmulating(0);
    Computer->LeaveRunLoop();
}
