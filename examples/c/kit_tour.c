/*
 * kit_tour: a C program against the installed kit. It connects to a KRN reader
 * over TCP, asks for its software version (0x65) and the transponders in its
 * field (0xB0 inventory), sends one APDU to the T=CL card in the field through
 * libvktcl, and asks the RF instrument for the level of a GPIO pin through
 * libZorbel_dll. The reader's protocol lines are printed as the library hands
 * them to an event handler.
 *
 *   kit_tour HOST PORT INSTRUMENT_ADDRESS
 *
 * Built with pkg-config alone:
 *   cc -o kit_tour kit_tour.c $(pkg-config --cflags --libs vkkrn vktcp vktcl Zorbel_dll)
 */
#include <vkkrn.h>
#include <vktcl.h>
#include <vktcp.h>
#include <Zorbel.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#define ANY_READER 0xFF /* bus address any reader answers */
#define REPLY_SIZE 0x10001

static unsigned char reply[2 * REPLY_SIZE + 1];

/* Events 2 and 3 (request and reply lines) and 101 (error lines). */
static void print_line(void* any, unsigned char* text, int value, int event) {
    (void)any;
    (void)value;
    printf("  %s %s\n", event == 101 ? "error:" : "line:", (const char*)text);
}

static int fail(const char* what, int code) {
    char text[512] = {0};
    /* libvkkrn gives the texts of its own codes and of the port libraries'. */
    if (code <= -4200 && code >= -4299)
        VKTCL_GetErrorText(code, text);
    else
        VKKRN_GetErrorText(code, text);
    printf("%s failed: %d %s\n", what, code, text);
    return 1;
}

static void print_bytes(const char* label, const unsigned char* bytes, int count) {
    printf("  %s", label);
    for (int i = 0; i < count; ++i)
        printf(" %02X", bytes[i]);
    printf("\n");
}

/* 0x65 software version, as hex text (format 1). */
static int software_version(int reader) {
    printf("0x65 software version\n");
    const int status = VKKRN_0x65_SoftVersion(reader, ANY_READER, reply, 1);
    if (status < 0) return fail("0x65", status);
    printf("  status 0x%02X, data %s\n", status, (const char*)reply);
    return 0;
}

/* 0xB0 inventory: request [01][00] as bytes (format 0); the reply data are
 * [count] then per transponder [type][8-byte UID]. */
static int inventory(int reader) {
    unsigned char request[] = {0x01, 0x00};
    int length = 0;
    printf("0xB0 inventory\n");
    const int status = VKKRN_0xB0_ISOCmd(reader, ANY_READER, request, sizeof request, reply, &length, 0);
    if (status < 0) return fail("0xB0", status);
    printf("  status 0x%02X, %d transponders\n", status, length > 0 ? reply[0] : 0);
    for (int i = 0; length > 0 && i < reply[0] && 1 + 9 * (i + 1) <= length; ++i)
        print_bytes("UID", reply + 1 + 9 * i + 1, 8);
    return 0;
}

/* One APDU (SELECT of the master file) to the T=CL card, through libvktcl. */
static int apdu(int reader) {
    unsigned char select[] = {0x00, 0xA4, 0x00, 0x00, 0x02, 0x3F, 0x00};
    unsigned char response[256];
    printf("APDU through libvktcl\n");
    const int card = VKTCL_NewTransponder(reader, ANY_READER, 0, 0, false, false);
    if (card < 0) return fail("VKTCL_NewTransponder", card);
    int rc = VKTCL_Apdu(card, select, sizeof select, NULL);
    if (rc == 0) rc = VKTCL_GetResponseData(card, response, sizeof response);
    VKTCL_DeleteTransponder(card);
    if (rc < 0) return fail("VKTCL_Apdu", rc);
    print_bytes("request ", select, sizeof select);
    print_bytes("response", response, rc);
    return 0;
}

/* One instrument request: the level of GPIO pin 1. */
static int instrument(const char* address) {
    uint8_t level = 0;
    printf("RF instrument on %s:5000\n", address);
    int rc = ZRB_Connect(1, address);
    if (rc != 0) {
        printf("ZRB_Connect failed: %d\n", rc);
        return 1;
    }
    rc = ZRB_GpioGetValue(1, &level);
    ZRB_Disconnect();
    if (rc != 0) {
        printf("ZRB_GpioGetValue failed: %d %s\n", rc, ZRB_ErrorMessage());
        return 1;
    }
    printf("  GPIO pin 1 level %u\n", level);
    return 0;
}

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: kit_tour HOST PORT INSTRUMENT_ADDRESS\n");
        return 2;
    }
    char version[16] = {0};
    VKKRN_GetDLLVersion(version);
    printf("libvkkrn %s\n", version);

    const int port = VKTCP_Connect(argv[1], atoi(argv[2]));
    if (port < 0) return fail("VKTCP_Connect", port);
    const int reader = VKKRN_NewReader(port);
    if (reader < 0) {
        VKTCP_DisConnect(port);
        return fail("VKKRN_NewReader", reader);
    }
    /* The protocol lines go to the handler while LOGPROT is 1. */
    _VKKRN_EVENT_INIT handler = {0};
    handler.uiUse = 1;
    handler.uiFlag = 7;
    handler.callback.form7 = print_line;
    VKKRN_SetReaderPara(reader, "LOGPROT", "1");
    VKKRN_AddEventHandler(reader, &handler);

    int failed = software_version(reader) || inventory(reader) || apdu(reader);

    VKKRN_DelEventHandler(reader, &handler);
    VKKRN_DeleteReader(reader);
    VKTCP_DisConnect(port);
    if (!failed) failed = instrument(argv[3]);
    return failed;
}
