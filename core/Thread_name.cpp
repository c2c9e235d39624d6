#include "core/Thread_name.h"

#include <cerrno>

#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr std::size_t MaxThreadName = 15;
// A modest boost: enough to be served before ordinary desktop work, far from
// real-time scheduling, which a busy emulation thread must never get.
constexpr int PriorityBoost = 5;

} // namespace

void NameCurrentThread(const std::string& name)
{
    std::string cut = name.substr(0, MaxThreadName);
    ::pthread_setname_np(::pthread_self(), cut.c_str());
}

bool RaiseCurrentThreadPriority()
{
    // On Linux the nice value belongs to the thread, addressed by its id.
    const id_t thread = id_t(::syscall(SYS_gettid));
    errno = 0;
    int current = ::getpriority(PRIO_PROCESS, thread);
    if (current == -1 && errno != 0)
        return false;
    return ::setpriority(PRIO_PROCESS, thread, current - PriorityBoost) == 0;
}
