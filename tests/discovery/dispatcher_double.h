// The scan ticks under test restart this stand-in for the download dispatcher:
// a real pass would hand the rows to the download engine, which these tests do
// not deploy. It records the calls in order, 'S' for a stop and 'T' for a start.
#pragma once

#include <string>

std::string DispatcherCalls();
void ClearDispatcherCalls();
