#include "ModuleEvents.h"

namespace mavrel {

FrameworkCalls frameworkCalls() {
    return FrameworkCalls{&MavrelFrameworkInitExtensionModule, &MavrelFrameworkAllocate,
                          &MavrelFrameworkConstructLibraryRecord,
                          &MavrelFrameworkTermExtensionModule};
}

} // namespace mavrel
