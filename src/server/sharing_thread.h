// Starting a thread that shares an object with its starter: the thread takes
// a reference of its own, so the object lives as long as the last of them.
#pragma once
#include <memory>
#include <new>
#include <utility>

#include "platform/threads.h"

namespace velvox {

// The thread's entry: takes the reference handed over and runs Body with it.
template <typename T, void (*Body)(std::shared_ptr<T>)>
void RunSharing(void* raw) {
    std::unique_ptr<std::shared_ptr<T>> handed(static_cast<std::shared_ptr<T>*>(raw));
    Body(std::move(*handed));
}

// Starts a thread at Body(shared) with start(entry, argument), which returns
// whether a thread started. Returns that; when none started, the reference
// meant for it is dropped again.
template <typename T, void (*Body)(std::shared_ptr<T>), typename Start>
bool StartSharing(const std::shared_ptr<T>& shared, Start&& start) {
    auto* handed = new (std::nothrow) std::shared_ptr<T>(shared);
    if (handed == nullptr)
        return false;
    if (start(&RunSharing<T, Body>, static_cast<void*>(handed)))
        return true;
    delete handed;
    return false;
}

}  // namespace velvox
