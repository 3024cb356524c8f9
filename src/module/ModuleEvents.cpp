#include "ModuleEvents.h"

namespace mavrel {

int handleModuleEvent(const FrameworkCalls& framework, MavrelFrameworkModuleRecord* moduleRecord,
                      void* instance, std::uint32_t reason) {
    if (reason == MAVREL_FRAMEWORK_PROCESS_ATTACH) {
        if (framework.initExtensionModule(moduleRecord, instance) == 0) {
            return 0;
        }
        // The record belongs to the framework from its construction on; a module
        // without one still loads.
        void* const storage = framework.allocate(MAVREL_FRAMEWORK_LIBRARY_RECORD_BYTES);
        if (storage != nullptr) {
            framework.constructLibraryRecord(storage, moduleRecord, 0);
        }
        return 1;
    }
    if (reason == MAVREL_FRAMEWORK_PROCESS_DETACH) {
        framework.termExtensionModule(moduleRecord, 0);
    }
    return 1;
}

} // namespace mavrel
