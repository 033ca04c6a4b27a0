/*
 * libVkdmKrnCore control interface: for tests of the core's callers. The Java
 * bridge never includes this header and never calls these functions.
 *
 * Every function returns 0 or a negative code of the core (-121 for a null
 * argument, -106 for an unknown name).
 */
#ifndef VKDM_CONTROL_H
#define VKDM_CONTROL_H

#include <vkdm/vkdm_core.h>

#define VKDM_CTL_API __attribute__((visibility("default")))

extern "C" {

/* The version text GetLibVersion gives (at most 31 characters); null restores
 * the built-in one. */
VKDM_CTL_API int VKDM_CTL_SetVersion(const char* version);

/* Forces the result and text of EvalLibDependencies; null text restores the
 * real check. */
VKDM_CTL_API int VKDM_CTL_SetDependencyResult(int result, const char* text);

/* The next call of the operation `name` (the member's name, for example
 * "ConnectTCP" or "ReadCompleteConfiguration") on any object returns `result`
 * without doing anything; once. `name` null clears every forced result. */
VKDM_CTL_API int VKDM_CTL_ForceResult(const char* name, int result);

/* Copies a record into the module: ReadReaderInfo and ReadReaderDiagnostic then
 * give it without asking the reader (until null is injected). */
VKDM_CTL_API int VKDM_CTL_InjectReaderInfo(VKDM_KRNReaderModule* module, const VKDM_ReaderInfo* info);
VKDM_CTL_API int VKDM_CTL_InjectReaderDiagnostic(VKDM_KRNReaderModule* module,
                                                 const VKDM_ReaderDiagnostic* diagnostic);

/* Writes bytes straight into record `index` of table `table` (the record must
 * exist: -104 otherwise), past the checks of SetTableData: a value the record
 * holds by role ("flags", "afi", "dsfid", "iddt", "direction",
 * "directionValid", "typeSpecific", "xpcW1", "antNumbers", "antStatus",
 * "antRssi", "challenge", "cryptoBlock") or, with `role` null, the field of
 * `dataId` (a UID length past the UID's room, say). The first `count` bytes of
 * the value change (-105 past its size; -106 for an unknown role or id). */
VKDM_CTL_API int VKDM_CTL_PokeTableRecord(VKDM_KRNReaderModule* module, unsigned int table, int index,
                                          const char* role, unsigned int dataId, const unsigned char* bytes,
                                          int count);

/* The sizes the record's GetTableSizes reports from now on, whatever they are
 * (0 and negative included); the record's data keep the table's sizes. */
VKDM_CTL_API int VKDM_CTL_SetReportedSizes(VKDM_KRNReaderModule* module, unsigned int table, int index,
                                           int size1, int size2, int size3, int size4);

/* Live reader modules: their number, and the one whose module handle (set with
 * SetModuleHnd) is `handle`, or null. */
VKDM_CTL_API int VKDM_CTL_ModuleCount(void);
VKDM_CTL_API VKDM_KRNReaderModule* VKDM_CTL_FindModule(int handle);

/* Call log: every operation of every object, and every port-library lookup
 * (VKDM_Base::GetViZerFunction and GetVkUsbFunction, "id=" the function id),
 * appends one line
 * "<operation>(<overload>) id=<identifier or number> len=<n> value=<v>"
 * while logging is on (off at load). Lines are read oldest first: the line
 * count, and line `index` copied into `text` (size bytes, cut). */
VKDM_CTL_API int VKDM_CTL_SetCallLog(int on);
VKDM_CTL_API int VKDM_CTL_ClearCallLog(void);
VKDM_CTL_API int VKDM_CTL_CallLogCount(void);
VKDM_CTL_API int VKDM_CTL_CallLogLine(int index, char* text, int size);
}

#endif
