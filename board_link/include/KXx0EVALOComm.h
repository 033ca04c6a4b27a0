/* Exported interface of the evaluation-board link libraries KX10EVALOComm and
 * KX20EVALOComm. */
#ifndef KXX0EVALOCOMM_H
#define KXX0EVALOCOMM_H

/* USB vendor id of the boards' maker. */
#define KESTO_VENDOR_ID 0x2F4B

/* Product ids: the KX10 board (first-board library) and the KX20 board. */
#define KX10_PRODUCT_ID 0x3721
#define KX20_PRODUCT_ID 0x3724

#endif
