#pragma once

// Dispatches the calling thread's pending window messages, so that the window
// stays usable during long work on its thread. A WM_QUIT met on the way is
// posted again and ends the pumping, so that the message loop still sees it.
void ProcessPendingMessages();
