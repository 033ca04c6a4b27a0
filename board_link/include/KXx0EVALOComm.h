/* Exported interface of the evaluation-board link libraries KX10EVALOComm and
 * KX20EVALOComm. */
#ifndef KXX0EVALOCOMM_H
#define KXX0EVALOCOMM_H

/* The boards on the USB bus: the maker's vendor id (the same as the QM30
 * dongle's) and the product ids of the KX10 board (first-board library) and the
 * KX20 board. Enumerators rather than macros, so that this header and the
 * dongle's, which names the vendor id too, can meet in one source. */
enum { KESTO_VENDOR_ID = 0x4B45, KX10_PRODUCT_ID = 0x3721, KX20_PRODUCT_ID = 0x3724 };

#endif
