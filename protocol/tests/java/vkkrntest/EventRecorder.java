package vkkrntest;

import java.util.ArrayList;
import java.util.List;

/** Receives reader events as a Java handler does and keeps them for the test. */
public final class EventRecorder {
    private final List<String> entries = new ArrayList<>();
    private boolean throwNext;
    private Thread lastThread;

    /** "(ILjava/lang/String;)V": events 2, 3 and 101. */
    public synchronized void onText(int use, String text) {
        entries.add("text " + use + " " + text);
        lastThread = Thread.currentThread();
        if (throwNext) {
            throwNext = false;
            throw new IllegalStateException("thrown by the handler");
        }
    }

    /** "(I[B)V": events 4, 5 and 6. */
    public synchronized void onBytes(int use, byte[] bytes) {
        StringBuilder hex = new StringBuilder();
        for (byte b : bytes) {
            hex.append(String.format("%02X", b & 0xFF));
        }
        entries.add("bytes " + use + " " + hex);
        lastThread = Thread.currentThread();
    }

    public synchronized void throwOnNextText() {
        throwNext = true;
    }

    public synchronized int count() {
        return entries.size();
    }

    public synchronized String entry(int i) {
        return entries.get(i);
    }

    public synchronized boolean lastThreadAlive() {
        return lastThread != null && lastThread.isAlive();
    }
}
