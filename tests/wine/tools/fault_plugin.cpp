// fault_plugin.dll: a plug-in whose init writes through a null pointer, for the
// player's report of a fault nothing handled.
#include <cstdint>

namespace {

struct Record {
    std::int32_t version;
    const char* description;
    int (*init)();
    void (*config)();
    void (*quit)();
    void* parent;
    void* instance;
};

volatile std::uintptr_t nowhere = 0;  // null, where the compiler cannot see it

// Faults; never returns.
int init() {
    return *reinterpret_cast<volatile int*>(nowhere);
}

void nothing() {}

Record the_record = {16, "faulting plug-in", init, nothing, nothing, nullptr, nullptr};

}  // namespace

extern "C" __declspec(dllexport) Record* winampGetGeneralPurposePlugin() {
    return &the_record;
}
