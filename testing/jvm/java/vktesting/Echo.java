package vktesting;

/** Records what native code hands it, for the harness's own test. */
public final class Echo {
    public static int lastCode;
    public static String lastText;

    private Echo() {}

    public static void onText(int code, String text) {
        lastCode = code;
        lastText = text;
    }
}
