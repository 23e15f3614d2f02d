// Faults that a test build of the layer injects on request (READRACE_FAULTS); in the real
// build every lookup is a constant "none" and costs nothing.
//
// READRACE_FAULTS holds entries "OPERATION:SUBJECT[:worker]=ACTION" separated by ';'. SUBJECT is
// a file's base name, an allocation's size in bytes, or the ordinal (1, 2) of a created thread;
// ":worker" restricts the entry to threads that the layer started. ACTION is an errno name
// (EIO, EMFILE, EACCES, ENOMEM, ...), "stall:MILLISECONDS", "short" or "null".
#pragma once

enum FaultKind { FaultNone, FaultError, FaultStall, FaultShort, FaultNull };

struct Fault {
    FaultKind kind;
    int value; // the errno value, or the stall in milliseconds
};

#ifdef READRACE_FAULTS
Fault FindFault(const char* operation, const char* subject);
Fault FindFaultForDescriptor(const char* operation, int descriptor);
Fault FindFaultForSize(const char* operation, unsigned long long size);
// Counts the thread being created and looks up a fault for it by its ordinal.
Fault FindThreadFault(void);
// Applies a stall and reports whether the caller should fail with fault.value as errno.
bool ApplyFault(Fault fault);
#else
inline Fault FindFault(const char*, const char*) {
    return Fault{FaultNone, 0};
}
inline Fault FindFaultForDescriptor(const char*, int) {
    return Fault{FaultNone, 0};
}
inline Fault FindFaultForSize(const char*, unsigned long long) {
    return Fault{FaultNone, 0};
}
inline Fault FindThreadFault(void) {
    return Fault{FaultNone, 0};
}
inline bool ApplyFault(Fault) {
    return false;
}
#endif
