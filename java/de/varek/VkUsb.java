package de.varek;

/**
 * KRN readers on USB: the natives of the USB port library (libvkusb). Loading
 * the class loads the library, which starts its device-watch thread.
 *
 * Results are the library's: 0 or more on success, its negative codes on
 * failure; the String methods give null on failure. A filter text that is too
 * long throws {@link VkPortDriverException}.
 */
public final class VkUsb {
    static {
        System.loadLibrary("vkusb");
    }

    private VkUsb() {}

    public static native String GetDLLVersion();

    public static native String GetErrorText(int code);

    public static native int GetLastError(int handle);

    /** Scans the bus; search (any object with the fields of {@link VkUsbSearch}) may be null. */
    public static native int Scan(int option, Object search);

    public static native int ScanAndOpen(int option, Object search);

    public static native String GetScanListPara(int index, String key);

    public static native int GetScanListSize();

    public static native int ClearScanList();

    public static native int OpenDevice(int deviceId);

    public static native int CloseDevice(int handle);

    public static native int GetDeviceList(int handle);

    public static native String GetDevicePara(int handle, String key);

    public static native int SetDevicePara(int handle, String key, String value);
}
