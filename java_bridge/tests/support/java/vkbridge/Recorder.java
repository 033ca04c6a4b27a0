package vkbridge;

import java.util.ArrayList;
import java.util.List;

/** Callbacks as they arrive: method, arguments and the calling thread's name. */
public final class Recorder {
    private final List<String> calls = new ArrayList<>();

    /** Records one call; a byte[] argument is written as hex, null as "null". */
    public synchronized void add(String method, Object... args) {
        StringBuilder line = new StringBuilder(method).append('(');
        for (int i = 0; i < args.length; ++i) {
            if (i > 0) line.append(", ");
            line.append(text(args[i]));
        }
        line.append(") on ").append(Thread.currentThread().getName());
        calls.add(line.toString());
        notifyAll();
    }

    /** Waits until `count` calls have arrived or `timeoutMs` has passed; true when they have. */
    public synchronized boolean await(int count, long timeoutMs) throws InterruptedException {
        final long deadline = System.nanoTime() + timeoutMs * 1_000_000L;
        while (calls.size() < count) {
            final long left = deadline - System.nanoTime();
            if (left <= 0) return false;
            wait(Math.max(1, left / 1_000_000L));
        }
        return true;
    }

    public synchronized int count() {
        return calls.size();
    }

    /** Call i as "method(arg, ...) on thread", or null. */
    public synchronized String call(int i) {
        return i >= 0 && i < calls.size() ? calls.get(i) : null;
    }

    private static String text(Object arg) {
        if (arg == null) return "null";
        if (arg instanceof byte[]) {
            StringBuilder hex = new StringBuilder("[");
            for (byte b : (byte[]) arg) hex.append(String.format("%02X", b & 0xFF));
            return hex.append(']').toString();
        }
        if (arg instanceof Byte) return String.format("0x%02X", ((Byte) arg) & 0xFF);
        return String.valueOf(arg);
    }
}
