#pragma once

#include <cstdint>

// The few system services the plug-in uses. Everything else in the code base is
// free of any knowledge of the platform it runs on. Each service goes through a
// replaceable function pointer, so that tests can watch or stub it (no real
// one-second pauses, no browser windows, any core count).
namespace vexo::platform {

// Outcome of the physical processor core query.
enum class CoreQueryStatus {
    Ok,           // cores holds the number of physical cores
    Unavailable,  // the query does not exist on this system
    Failed,       // the query failed for another reason than a short buffer
    OutOfMemory,  // the buffer the query asked for could not be allocated
};

struct CoreQueryResult {
    CoreQueryStatus status;
    int32_t cores;
};

// Operating-system version as the system reports it.
struct OsVersion {
    uint32_t platformId;  // 1: the 9x family, 2: NT
    uint32_t major;
    uint32_t minor;
};

struct Services {
    CoreQueryResult (*queryPhysicalCores)();
    bool (*pathExists)(const char* path);
    uint32_t (*tickCount)();  // milliseconds, wrapping at 2^32
    void (*sleepMilliseconds)(uint32_t milliseconds);
    void (*debugOutput)(const char* line);
    // Tells the user of an error: a message box with the error icon, brought to
    // the foreground, with no owner window; standard error where there is none.
    void (*showErrorMessage)(const char* text, const char* caption);
    // Opens a web address in the user's browser; owner is a window handle or null.
    void (*openAddress)(void* owner, const char* address);
    OsVersion (*osVersion)();
};

// The system's own implementations.
const Services& SystemServices();

// The services in force. Tests may assign to the members and must put the old
// values back (ScopedServices does both).
Services& CurrentServices();

class ScopedServices {
public:
    ScopedServices() : saved_(CurrentServices()) {}
    ~ScopedServices() { CurrentServices() = saved_; }
    ScopedServices(const ScopedServices&) = delete;
    ScopedServices& operator=(const ScopedServices&) = delete;
    Services* operator->() { return &CurrentServices(); }

private:
    Services saved_;
};

inline CoreQueryResult QueryPhysicalCores() { return CurrentServices().queryPhysicalCores(); }
inline bool PathExists(const char* path) { return CurrentServices().pathExists(path); }
inline uint32_t TickCount() { return CurrentServices().tickCount(); }
inline void SleepMilliseconds(uint32_t ms) { CurrentServices().sleepMilliseconds(ms); }
inline void DebugOutput(const char* line) { CurrentServices().debugOutput(line); }
inline void ShowErrorMessage(const char* text, const char* caption) {
    CurrentServices().showErrorMessage(text, caption);
}
inline void OpenAddress(void* owner, const char* address) {
    CurrentServices().openAddress(owner, address);
}
inline OsVersion GetOsVersion() { return CurrentServices().osVersion(); }

}  // namespace vexo::platform
