// The application entry. Until the main window exists this is a headless
// smoke program: it reports that the build runs.
#include <cstdio>

int main()
{
    std::puts("Quorvane: the main window is not built yet; this build runs headless.");
    return 0;
}
