// The platform's services with some replaced, for as long as a test wants:
// set the fields of table, then apply(); the platform's own come back at the
// end of the object's life.
#pragma once
#include "platform/services.h"

namespace velvox::testing {

struct ServicesOverride {
    platform::Services table = platform::real_services();

    ServicesOverride() = default;
    ServicesOverride(const ServicesOverride&) = delete;
    ServicesOverride& operator=(const ServicesOverride&) = delete;
    ~ServicesOverride() { platform::use_services(nullptr); }

    void apply() { platform::use_services(&table); }
};

}  // namespace velvox::testing
