// Fault injection without seams in the product: the calls that the program's own module makes to the
// system (through its import address table, and the functions it looks up with GetProcAddress) are counted
// one by one, and the calls chosen by the test fail with an error typical of their kind. The count and
// the choice live in a shared record that the test makes and names in QU_INJECT, so that a program and the
// copies it starts count on one scale.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct InjectionRecord {
    static constexpr int kMaxCalls = 32768;
    volatile LONG calls;  // calls counted so far
    LONG failAt[2];       // positions (1-based) of the calls that fail; 0 for none
    LONG armed;           // counting is on
    char failed[2][64];   // the functions that were made to fail
    unsigned char trace[kMaxCalls];  // the function index of each call
};

// The intercepted functions, in the order of InjectedFunctionName's indices.
int InjectedFunctionCount();
const char* InjectedFunctionName(int index);

// In the program under test: attaches to the record named by QU_INJECT and patches this module's imports.
// False (and nothing patched) without QU_INJECT. Counting starts armed when QU_INJECT_ARMED is "1".
bool AttachInjection();
// Counting on or off (the program's own test code between the runs it makes).
void ArmInjection(bool armed);
// Puts replacement into this module's import address table in place of the named function; returns the
// function it replaced, null when the module does not import it by that name.
void* ReplaceImport(const char* name, void* replacement);

// In the test: the shared record, made empty, named for the programs it starts.
class InjectionControl {
public:
    InjectionControl();
    ~InjectionControl();
    InjectionControl(const InjectionControl&) = delete;
    InjectionControl& operator=(const InjectionControl&) = delete;

    // Sets QU_INJECT (and QU_INJECT_ARMED) in this process's environment for the programs started next,
    // with a zero count and the given calls to fail.
    void Prepare(LONG failAt, LONG alsoFailAt = 0, bool armed = true);
    // Clears QU_INJECT again and disarms the record.
    void Stop();
    LONG Calls() const;
    // "Function #k" for the call at position (k: its rank among the calls of that function).
    std::string Describe(LONG position) const;
    std::string FunctionAt(LONG position) const;
    // What failed: "CreateFileA #3 (call 17)" per failure.
    std::string Failed() const;

private:
    HANDLE m_mapping;
    InjectionRecord* m_record;
    std::string m_name;
};
