// The change signal: one listener, called from whichever thread made the change.
#include "core/change_signal.h"

#include <atomic>

namespace velvox {

namespace {

std::atomic<void (*)()> change_listener{nullptr};

}  // namespace

void AnnounceChange() {
    void (*listener)() = change_listener.load();
    if (listener != nullptr)
        listener();
}

void SetChangeListener(void (*listener)()) {
    change_listener.store(listener);
}

}  // namespace velvox
