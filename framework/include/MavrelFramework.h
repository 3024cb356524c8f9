/*
 * MavrelFramework: the application framework that extension modules register
 * with. One shared library per process, shared by every extension module loaded
 * into it: it keeps the registry of those modules and the per-library records
 * bound to them.
 *
 * An extension module keeps one zero-filled MavrelFrameworkModuleRecord of its
 * own and hands it to the framework at attach and at detach; only the framework
 * reads or writes its fields.
 */
#ifndef MAVREL_FRAMEWORK_H
#define MAVREL_FRAMEWORK_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#if defined(MAVREL_FRAMEWORK_BUILDING)
#define MAVREL_FRAMEWORK_API __declspec(dllexport)
#else
#define MAVREL_FRAMEWORK_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define MAVREL_FRAMEWORK_API __attribute__((visibility("default")))
#else
#define MAVREL_FRAMEWORK_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

struct MavrelFrameworkLibraryRecord;

/* An extension module's record. The framework's bookkeeping; a module only
 * passes its address. */
typedef struct MavrelFrameworkModuleRecord {
    void* instance;                                 /* the module's instance handle */
    struct MavrelFrameworkLibraryRecord* libraries; /* per-library records, newest first */
    uint32_t registered;                            /* 1 while in the registry */
} MavrelFrameworkModuleRecord;

/* The size of the per-library record that MavrelFrameworkConstructLibraryRecord
 * builds. */
#define MAVREL_FRAMEWORK_LIBRARY_RECORD_BYTES 64

/* Reason codes of the pre-attach hook: those of the loader's entry point. */
#define MAVREL_FRAMEWORK_PROCESS_DETACH 0u
#define MAVREL_FRAMEWORK_PROCESS_ATTACH 1u

/*
 * The hook that the platform's start-up code of an extension module calls
 * before the module's own initialisers at load (reason
 * MAVREL_FRAMEWORK_PROCESS_ATTACH), and again after its exit handlers at unload
 * (MAVREL_FRAMEWORK_PROCESS_DETACH). Other reasons are ignored. Returns nonzero
 * when the load may go on, 0 to make it fail.
 */
MAVREL_FRAMEWORK_API int MavrelFrameworkPreAttachHook(void* instance, uint32_t reason,
                                                      void* reserved);

/*
 * Registers the module. instance must have passed the pre-attach hook for this
 * load. Returns nonzero on success (also when the module is already
 * registered), 0 when the framework refuses the module.
 */
MAVREL_FRAMEWORK_API int MavrelFrameworkInitExtensionModule(MavrelFrameworkModuleRecord* module,
                                                            void* instance);

/* The framework's allocator. Returns NULL when no memory is available. */
MAVREL_FRAMEWORK_API void* MavrelFrameworkAllocate(size_t bytes);

/*
 * Constructs the per-library record in storage, which must come from
 * MavrelFrameworkAllocate and hold MAVREL_FRAMEWORK_LIBRARY_RECORD_BYTES bytes,
 * and binds it to the module. From then on the storage belongs to the
 * framework. systemLibrary: nonzero for a library of the framework itself,
 * 0 for an application's.
 */
MAVREL_FRAMEWORK_API void MavrelFrameworkConstructLibraryRecord(void* storage,
                                                                MavrelFrameworkModuleRecord* module,
                                                                int systemLibrary);

/*
 * Removes the module from the registry and frees its per-library records. all:
 * nonzero also terminates every other registered module (the framework's own
 * shutdown); extension modules pass 0. A module that is not registered is left
 * as it is.
 */
MAVREL_FRAMEWORK_API void MavrelFrameworkTermExtensionModule(MavrelFrameworkModuleRecord* module,
                                                             int all);

/* One registered module, as MavrelFrameworkListModules reports it. */
typedef struct MavrelFrameworkModuleInfo {
    void* instance;
    uint32_t libraryRecords; /* per-library records bound to the module */
} MavrelFrameworkModuleInfo;

/*
 * Lists the registered modules, oldest first: fills up to capacity entries of
 * out (which may be NULL when capacity is 0) and returns the number of modules
 * registered.
 */
MAVREL_FRAMEWORK_API size_t MavrelFrameworkListModules(MavrelFrameworkModuleInfo* out,
                                                       size_t capacity);

/*
 * For tests: makes framework operations fail until cleared with 0. faults is a
 * combination of the MAVREL_FRAMEWORK_FAULT_* flags.
 */
#define MAVREL_FRAMEWORK_FAULT_REFUSE_INIT 1u /* the initialisation returns 0 */
#define MAVREL_FRAMEWORK_FAULT_ALLOCATION 2u  /* the allocator returns NULL */
#define MAVREL_FRAMEWORK_FAULT_PRE_ATTACH 4u  /* the pre-attach hook fails an attach */
MAVREL_FRAMEWORK_API void MavrelFrameworkSetTestFaults(uint32_t faults);

#ifdef __cplusplus
}
#endif

#endif /* MAVREL_FRAMEWORK_H */
