// Readiness on Windows: WSAPoll over an array of sockets, woken by a datagram
// that a loopback UDP socket sends to itself.
#include "platform/readiness.h"

#include <winsock2.h>

#include <new>
#include <unordered_map>
#include <vector>

namespace platform {

namespace {

// Returns a UDP socket bound to 127.0.0.1 and connected to itself, not
// blocking on receive; INVALID_SOCKET when a step failed.
SOCKET open_waker() {
    SOCKET s = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (s == INVALID_SOCKET)
        return INVALID_SOCKET;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    u_long non_blocking = 1;
    sockaddr* named = reinterpret_cast<sockaddr*>(&address);
    if (::bind(s, named, sizeof address) != 0 || getsockname(s, named, &length) != 0 ||
        ::connect(s, named, length) != 0 || ioctlsocket(s, FIONBIO, &non_blocking) != 0) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

}  // namespace

struct ReadySet::State {
    SOCKET waker = INVALID_SOCKET;
    std::vector<WSAPOLLFD> watched;  // [0] is the waker
    std::unordered_map<SOCKET, std::size_t> places;
};

ReadySet::ReadySet() : state_(new (std::nothrow) State) {
    if (state_ == nullptr)
        return;
    state_->waker = open_waker();
    if (state_->waker == INVALID_SOCKET) {
        delete state_;
        state_ = nullptr;
        return;
    }
    state_->watched.push_back(WSAPOLLFD{state_->waker, POLLRDNORM, 0});
}

ReadySet::~ReadySet() {
    if (state_ == nullptr)
        return;
    closesocket(state_->waker);
    delete state_;
}

bool ReadySet::usable() const {
    return state_ != nullptr;
}

namespace {

// The WSAPoll events of interest.
SHORT events_for(Interest interest) {
    return interest == Interest::readable ? POLLRDNORM : POLLWRNORM;
}

}  // namespace

bool ReadySet::add(Socket socket, Interest interest) {
    if (state_ == nullptr)
        return false;
    const SOCKET s = static_cast<SOCKET>(socket);
    if (!state_->places.emplace(s, state_->watched.size()).second)
        return false;
    state_->watched.push_back(WSAPOLLFD{s, events_for(interest), 0});
    return true;
}

bool ReadySet::change(Socket socket, Interest interest) {
    if (state_ == nullptr)
        return false;
    auto found = state_->places.find(static_cast<SOCKET>(socket));
    if (found == state_->places.end())
        return false;
    state_->watched[found->second].events = events_for(interest);
    return true;
}

void ReadySet::remove(Socket socket) {
    if (state_ == nullptr)
        return;
    auto found = state_->places.find(static_cast<SOCKET>(socket));
    if (found == state_->places.end())
        return;
    // The last entry takes the removed one's place.
    const std::size_t place = found->second;
    state_->places.erase(found);
    if (place + 1 != state_->watched.size()) {
        state_->watched[place] = state_->watched.back();
        state_->places[state_->watched[place].fd] = place;
    }
    state_->watched.pop_back();
}

int ReadySet::wait(Socket* ready, std::size_t capacity, int timeout_ms) {
    if (state_ == nullptr)
        return -1;
    std::vector<WSAPOLLFD>& watched = state_->watched;
    int n = WSAPoll(watched.data(), static_cast<ULONG>(watched.size()), timeout_ms);
    if (n == SOCKET_ERROR)
        return -1;
    int count = 0;
    if (watched[0].revents != 0) {
        char drained[64];
        while (::recv(state_->waker, drained, sizeof drained, 0) > 0) {
        }
    }
    for (std::size_t i = 1; i < watched.size() && static_cast<std::size_t>(count) < capacity; ++i) {
        if (watched[i].revents != 0)
            ready[count++] = static_cast<Socket>(watched[i].fd);
    }
    return count;
}

void ReadySet::wake() {
    if (state_ != nullptr)
        ::send(state_->waker, "w", 1, 0);
}

}  // namespace platform
