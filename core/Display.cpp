#include "core/Display.h"

TDisplay* g_Display = nullptr;

void ForgetDisplay(const TDisplay* display)
{
    if (g_Display == display)
        g_Display = nullptr;
}
