package kestoreadertest;

/**
 * The reader class's natives without its library loading: the test registers the natives of the
 * library's objects linked into it, so the VM calls them as it calls the reader class's.
 */
public class Natives {
    public native boolean connect();

    public native void disconnect();

    public native boolean isConnected();

    public native String getName();

    public native String checkVersion();

    public native String getFirmwareVersion();

    public native byte selectReaderMode(byte[] mode);

    public native byte[] sendReceive(byte[] tx);

    public native byte[] sendReceive14443a(byte frameMode, byte[] tx);

    public native byte[] sendReqA();

    public native byte[] sendWupA();

    public native byte[] sendHltA();

    public native byte[] sendRats();

    public native byte[] sendPps();

    public native byte[][] antiCollision(byte[] ignored);

    public native void setAnticollisionAlgo(byte[] algo);

    public native int getMaxTransmitLengthInBytes();

    public native int getMaxReceiveLengthInBytes();

    public native int selectTag14443A(byte[] uid);

    public native int deselectTag14443A(byte[] uid);
}
