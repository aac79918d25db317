// Readiness on Linux: an epoll set, woken through an eventfd.
#include "platform/readiness.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <new>

namespace platform {

struct ReadySet::State {
    int poller = -1;
    int waker = -1;
};

ReadySet::ReadySet() : state_(new (std::nothrow) State) {
    if (state_ == nullptr)
        return;
    state_->poller = epoll_create1(EPOLL_CLOEXEC);
    state_->waker = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = state_->waker;
    if (state_->poller >= 0 && state_->waker >= 0 &&
        epoll_ctl(state_->poller, EPOLL_CTL_ADD, state_->waker, &event) == 0)
        return;
    if (state_->poller >= 0)
        close(state_->poller);
    if (state_->waker >= 0)
        close(state_->waker);
    delete state_;
    state_ = nullptr;
}

ReadySet::~ReadySet() {
    if (state_ == nullptr)
        return;
    close(state_->poller);
    close(state_->waker);
    delete state_;
}

bool ReadySet::usable() const {
    return state_ != nullptr;
}

namespace {

// The epoll event of socket watched for interest.
epoll_event event_for(Socket socket, Interest interest) {
    epoll_event event{};
    event.events = interest == Interest::readable ? EPOLLIN | EPOLLRDHUP : EPOLLOUT;
    event.data.fd = static_cast<int>(socket);
    return event;
}

}  // namespace

bool ReadySet::add(Socket socket, Interest interest) {
    if (state_ == nullptr)
        return false;
    epoll_event event = event_for(socket, interest);
    return epoll_ctl(state_->poller, EPOLL_CTL_ADD, static_cast<int>(socket), &event) == 0;
}

bool ReadySet::change(Socket socket, Interest interest) {
    if (state_ == nullptr)
        return false;
    epoll_event event = event_for(socket, interest);
    return epoll_ctl(state_->poller, EPOLL_CTL_MOD, static_cast<int>(socket), &event) == 0;
}

void ReadySet::remove(Socket socket) {
    if (state_ != nullptr)
        epoll_ctl(state_->poller, EPOLL_CTL_DEL, static_cast<int>(socket), nullptr);
}

int ReadySet::wait(Socket* ready, std::size_t capacity, int timeout_ms) {
    if (state_ == nullptr)
        return -1;
    constexpr std::size_t kBatch = 256;
    epoll_event events[kBatch];
    // One place more than capacity, for the waker.
    const int most = static_cast<int>(capacity + 1 < kBatch ? capacity + 1 : kBatch);
    int n = epoll_wait(state_->poller, events, most, timeout_ms);
    if (n < 0)
        return errno == EINTR ? 0 : -1;
    int count = 0;
    for (int i = 0; i < n; ++i) {
        if (events[i].data.fd == state_->waker) {
            std::uint64_t drained;
            while (read(state_->waker, &drained, sizeof drained) > 0) {
            }
        } else if (static_cast<std::size_t>(count) < capacity) {
            ready[count++] = events[i].data.fd;
        }
    }
    return count;
}

void ReadySet::wake() {
    if (state_ == nullptr)
        return;
    const std::uint64_t one = 1;
    // A full counter already means a pending wake-up.
    while (write(state_->waker, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

}  // namespace platform
