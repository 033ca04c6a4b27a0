package de.varek;

/**
 * Function units (10 antenna tuner, 11 antenna multiplexer, 12 UHF antenna
 * multiplexer) on a reader module of {@link VkdmKrnReader}, by handle.
 *
 * <p>What Java must keep: a unit points to the module it was made on, so destroy
 * a module's units before the module; never destroy a unit while a call on it
 * runs. Failures throw {@link VkdmException}, {@link VkPortDriverException} or
 * {@link VkReaderDriverException} by code range, as each method says.
 */
public final class VkdmKrnFunctionUnit {
    static {
        System.loadLibrary("nubokrn4j");
    }

    private VkdmKrnFunctionUnit() {}

    /** Makes a unit of the type on the reader module; its handle, or the negative code (also thrown). */
    public static native int Init(int moduleHandle, int type);

    /** 0, or -139 for a handle not listed; throws nothing. */
    public static native int Destroy(int handle);

    public static native int AddChild(int handle, int position, int childHandle);

    public static native int DelChild(int handle, int position);

    public static native int GetFUType(int handle);

    public static native String GetErrorText(int handle, int code);

    public static native int GetLastError(int handle);

    public static native int GetData(int handle, String id, boolean[] value);

    public static native int GetData(int handle, String id, byte[] value);

    public static native int GetData(int handle, String id, int[] value);

    public static native int GetData(int handle, String id, long[] value);

    public static native String GetStringData(int handle, String id);

    public static native int SetData(int handle, String id, boolean value);

    public static native int SetData(int handle, String id, byte value);

    public static native int SetData(int handle, String id, int value);

    public static native int SetData(int handle, String id, long value);

    public static native int SetData(int handle, String id, String value);

    public static native int SendProtocol(int handle, byte command);
}
