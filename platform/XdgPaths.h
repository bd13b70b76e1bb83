#pragma once

#include <string>

// The user's base folders as the XDG Base Directory rules define them: the variable when it holds
// an absolute path, otherwise the default below the home folder. Empty when no home is known.
std::string XdgDataHome();
std::string XdgConfigHome();
std::string XdgStateHome();
