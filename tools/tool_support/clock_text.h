// Times as the tools print them: minutes, then seconds with a fixed number of
// decimals, rounded once as a whole so that 59.999 s reads 1:00.00, never 0:60.00.
#pragma once

#include <string>

// "M:SS" plus `decimals` (0 to 3) places, e.g. clockText(83.456, 2) == "1:23.46".
// Negative or not-a-number times read as 0.
std::string clockText(double seconds, int decimals);
