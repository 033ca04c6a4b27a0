// Controls of the scriptable test plug-in library. The test opens the same file
// as VKKRN_PI_Get did and looks these up (the loader returns that instance).
#ifndef VKKRN_TEST_PLUGIN_H
#define VKKRN_TEST_PLUGIN_H

// Slot numbers as in the plug-in's vtable.
enum TestPlugInSlot {
    kSlotGetLibVersion = 2,
    kSlotGetErrorText = 3,
    kSlotOpenPort = 4,
    kSlotClosePort = 5,
    kSlotGetPortPara = 6,
    kSlotSetPortPara = 7,
    kSlotBuildDatastream = 8,
    kSlotBuildProtocol = 9,
    kSlotTransceive = 10,
    kSlotTransmit = 11,
    kSlotReceive = 12,
    kSlotSplitProtocol = 13,
    kSlotSplitDatastream = 14,
    kSlotInit = 15,
    kSlotCleanup = 16,
    kSlotCount = 17
};

extern "C" {
// Forgets every call and result; unblocks.
typedef void (*TESTPI_Reset_Fn)();
// The result of a slot from now on (default 0).
typedef void (*TESTPI_SetResult_Fn)(int slot, int result);
// The result of "ReleasePlugIn" from now on (default 0).
typedef void (*TESTPI_SetReleaseResult_Fn)(int result);
// Calls of a slot so far.
typedef int (*TESTPI_Calls_Fn)(int slot);
// The first pointer argument of the slot's last call, and its int argument.
typedef void* (*TESTPI_LastPointer_Fn)(int slot);
typedef int (*TESTPI_LastInt_Fn)(int slot);
// Calls of the slot wait until TESTPI_Unblock; TESTPI_Waiting counts waiting calls.
typedef void (*TESTPI_Block_Fn)(int slot);
typedef void (*TESTPI_Unblock_Fn)();
typedef int (*TESTPI_Waiting_Fn)();
// Plug-in objects alive.
typedef int (*TESTPI_Live_Fn)();
// The event log: "init;cleanup;release:100;" and so on; returns its length.
typedef int (*TESTPI_Log_Fn)(char* out, int size);
}

#endif
