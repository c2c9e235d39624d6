// The user's home folder: $HOME when it is set and not empty, else the home
// of the account the program runs as, else "." (the current folder).
#pragma once

#include <string>

std::string HomeFolder();
