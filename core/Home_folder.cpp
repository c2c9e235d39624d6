#include "core/Home_folder.h"

#include <cstdlib>

#include <pwd.h>
#include <unistd.h>

std::string HomeFolder()
{
    if (const char* home = std::getenv("HOME"); home && home[0])
        return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir && entry->pw_dir[0])
        return entry->pw_dir;
    return ".";
}
