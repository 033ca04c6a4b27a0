/*
 * libvkkrn: event handlers that are Java methods, called through the Java
 * Native Interface on the thread that raises the event. libvkkrn does not link
 * the Java virtual machine: it calls it through the JavaVM given here.
 *
 * uiFlag 101 delivers events 2, 3 and 101 as method(int uiUse, String) with the
 * signature "(ILjava/lang/String;)V", and events 4, 5 and 6 as
 * method(int uiUse, byte[]) with "(I[B)V"; event 102 is not delivered to Java.
 * Texts are converted from ISO 8859-1 to the Java string. A thread the library
 * attaches for a byte event is detached right after it; one attached for a text
 * event stays attached until it ends. A Java exception thrown by the method is
 * cleared and ends that dispatch. `object` may be a weak global reference: once
 * collected, its handler is skipped.
 */
#ifndef VKKRN_JNI_H
#define VKKRN_JNI_H

#include <jni.h>
#include <vkkrn.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct _VKKRN_INTERNAL_EVENT_INIT {
    void* pAny;                    /* not read for uiFlag 101 */
    unsigned int uiUse;            /* the events wanted, as in vkkrn.h */
    unsigned int uiMsg;            /* 0 in every stored handler */
    unsigned int uiFlag;           /* 101: Java delivery (102 refused with -4054) */
    JavaVM* jvm;                   /* the virtual machine to attach to */
    jobject object;                /* whose method is called; the caller keeps it valid */
    jmethodID method;              /* the method to call */
    VKKRN_EVENT_CALLBACK callback; /* the native callback of a stored uiFlag 3, 6 or 7 handler */
} _VKKRN_INTERNAL_EVENT_INIT;

/* Registers a Java handler: 0 (also when one with the same uiUse, object and
 * method is registered: nothing is added), -4054 for uiFlag 102 and for uiUse
 * 4 on a USB or TCP reader, -4050 for a uiFlag other than 101, -4003 without
 * memory, -4081 for uiUse 4 while scan-mode threads are not offered. */
VKKRN_API int VKKRN_AddEventHandlerEx(int readerHnd, _VKKRN_INTERNAL_EVENT_INIT* record);
/* Removes the first Java handler with the same uiUse, object and method: 0, or
 * -4050 when there is none; -4054 for uiFlag 102, -4050 for another flag. */
VKKRN_API int VKKRN_DelEventHandlerEx(int readerHnd, _VKKRN_INTERNAL_EVENT_INIT* record);

#ifdef __cplusplus
}
#endif

#endif
