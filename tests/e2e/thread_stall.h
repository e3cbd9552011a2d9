#pragma once
// Stalls another process's thread the way a real stall does. A thread held up by a slow disk waits
// in a file write, and one that is merely not scheduled shows the same as one waiting in its message
// loop; neither holds a lock of the platform's. A thread suspended at an arbitrary instruction may
// be inside a call of the window manager or the wave-input service, holding a lock that the
// platform's capture thread needs: under Wine the window manager's, which the capture thread takes
// to post MM_WIM_DATA, so it stops pulling audio for the rest of the stall and all but the last
// tenth of a second of it is lost. So the thread is suspended, its context read, and unless it is
// waiting in the message loop or in a file write it is resumed and tried again once it has run at
// least a millisecond, and twice as long as the try held it.
// Only the instruction pointer is read, and inside a system call it is the stub's for the whole of
// the call: under Wine the message loop's call also handles the display's events under the window
// manager's lock, so "at rest" is likely, not certain. The fault tests that need audio to flow
// through a stall hang a write instead (faults.cpp); the sleep test and the bench and soak use this.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace e2e {

// The code of another process's modules: which module and export an address lies in.
class RemoteCode {
public:
    explicit RemoteCode(HANDLE process);
    // "module.dll!Export+0x12", "module.dll+0x1234" where no export of it is known, or "0x..." outside
    // every module.
    std::string Describe(uintptr_t address) const;
    // The address lies in the system-call stub of module!name (a stub is a few bytes long).
    bool InStub(uintptr_t address, const wchar_t* module, const char* name) const;
    // The first `count` values on the stack from `rsp` up that point into a module: its likely callers.
    std::string Callers(uintptr_t rsp, int count) const;

private:
    struct Module {
        uintptr_t base;
        uintptr_t end;
        std::wstring name; // lower case
    };
    const Module* Find(uintptr_t address) const;
    void Load();

    HANDLE process_;
    std::vector<Module> modules_;
};

// Where a suspension landed.
struct Suspension {
    int tries = 0;            // suspensions made, the last one held
    DWORD waitedMs = 0;       // from the first try to the one held
    DWORD triedMs = 0;        // of that, the thread suspended by the tries that did not hold
    std::string first;        // where the thread was at the first try, and its likely callers
    std::string held;         // where it was at the one held
};

class ThreadStaller {
public:
    enum class Where {
        AtRest,   // in the message loop's wait or a file write: what a real stall looks like
        Anywhere, // the first suspension, wherever it lands, as a plain SuspendThread does
        Busy,     // anywhere but at rest: shows what a suspension inside the platform's calls does
    };
    ThreadStaller(HANDLE process, DWORD threadId, Where where);
    ~ThreadStaller();
    ThreadStaller(const ThreadStaller&) = delete;
    ThreadStaller& operator=(const ThreadStaller&) = delete;

    // Suspends the thread where asked (where it holds no lock of the platform's unless told
    // otherwise); fails after `timeoutMs` of trying.
    Suspension Suspend(DWORD timeoutMs);
    void Resume();

private:
    bool AtRest(uintptr_t rip) const;

    RemoteCode code_;
    HANDLE thread_;
    Where where_;
};

} // namespace e2e
