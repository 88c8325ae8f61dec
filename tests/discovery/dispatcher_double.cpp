#include "dispatcher_double.h"

#include "download/download_dispatcher.h"

namespace {

std::string calls;

}  // namespace

std::string DispatcherCalls() { return calls; }
void ClearDispatcherCalls() { calls.clear(); }

void StopDownloadThread() { calls += 'S'; }
bool StartDownloadThread() {
    calls += 'T';
    return true;
}
