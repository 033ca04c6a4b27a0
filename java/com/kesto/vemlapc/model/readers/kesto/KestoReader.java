package com.kesto.vemlapc.model.readers.kesto;

/**
 * The contactless reader behind the native library "kestoreader": one current reader at a time,
 * found by {@link #connect()} among the two evaluation boards and the QM30 dongle.
 *
 * <p>Threading: all instances share the library's one current reader, and the library takes no
 * lock. Call the methods from one thread at a time.
 *
 * <p>Transfers answer a byte array whose first byte is 0 on success, followed by the received
 * bytes; every failure answers the one-byte array {3}.
 *
 * <p>{@link #selectReaderMode(byte[])} returns the reader's own result byte: the dongle answers 1
 * on success and 0 on failure; the boards answer 0 on success, 3 on failure and 6 when the board
 * no longer answers. Without a reader it answers 3.
 */
public class KestoReader {
    static {
        System.loadLibrary("kestoreader");
    }

    /** Finds and opens a reader; true while a reader is current. */
    public native boolean connect();

    /** Closes the current reader and forgets it. */
    public native void disconnect();

    public native boolean isConnected();

    /** The reader's name, "" without a reader. */
    public native String getName();

    /** "" when the reader's firmware is acceptable, otherwise why not. */
    public native String checkVersion();

    public native String getFirmwareVersion();

    /**
     * Selects the radio protocol: mode[0] the protocol (0 field off, 1 ISO 15693, 2 ISO 14443-A, 3
     * ISO 14443-B), then rates and options; missing bytes count as 0.
     */
    public native byte selectReaderMode(byte[] mode);

    public native byte[] sendReceive(byte[] tx);

    public native byte[] sendReceive14443a(byte frameMode, byte[] tx);

    public native byte[] sendReqA();

    public native byte[] sendWupA();

    public native byte[] sendHltA();

    public native byte[] sendRats();

    public native byte[] sendPps();

    /** One UID per tag found in the selected protocol; the argument is not used. */
    public native byte[][] antiCollision(byte[] ignored);

    /** algo[0] chooses the inventory algorithm, algo[1] its parameter. */
    public native void setAnticollisionAlgo(byte[] algo);

    public native int getMaxTransmitLengthInBytes();

    public native int getMaxReceiveLengthInBytes();

    public native int selectTag14443A(byte[] uid);

    public native int deselectTag14443A(byte[] uid);
}
