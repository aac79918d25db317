// The pool of send buffers: a short list under a lock.
#include "http/block_pool.h"

#include <mutex>
#include <new>

#include "platform/lock.h"

namespace velvox {

namespace {

// Enough for every connection thread answering at once on a busy evening;
// more are freed rather than held for good.
constexpr std::size_t kMostKept = 64;

struct Pool {
    platform::Lock lock;
    char* kept[kMostKept] = {};
    std::size_t count = 0;
};

// The pool, made on first use and never destroyed: connection threads may
// still give blocks back while the process ends.
Pool& ThePool() {
    static Pool* pool = new Pool;
    return *pool;
}

}  // namespace

char* TakePooledBlock() {
    Pool& pool = ThePool();
    {
        std::lock_guard<platform::Lock> hold(pool.lock);
        if (pool.count > 0)
            return pool.kept[--pool.count];
    }
    return new (std::nothrow) char[kPooledBlockBytes];
}

void GiveBackPooledBlock(char* block) {
    if (block == nullptr)
        return;
    Pool& pool = ThePool();
    {
        std::lock_guard<platform::Lock> hold(pool.lock);
        if (pool.count < kMostKept) {
            pool.kept[pool.count++] = block;
            return;
        }
    }
    delete[] block;
}

}  // namespace velvox
