package de.varek;

/** The data-manager bridge's logger entry points; the bridge keeps no log, so they do nothing. */
public final class VkdmLoggerInternal {
    static {
        System.loadLibrary("nubokrn4j");
    }

    private VkdmLoggerInternal() {}

    /** Returns 0. */
    public static native int Init(long context);

    public static native void Destroy();

    public static native void Trace(int level, String text);

    public static native void TraceWPara(int level, String text, String parameter);

    public static native void SetProp1(String key, String value);

    public static native void SetProp2(String key, int value);
}
