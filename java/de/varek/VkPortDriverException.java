package de.varek;

/** Thrown by the native port libraries; carries the library's result code. */
public class VkPortDriverException extends RuntimeException {
    private static final long serialVersionUID = 1L;

    private final int code;

    public VkPortDriverException(String message, int code) {
        super(message);
        this.code = code;
    }

    public int getCode() {
        return code;
    }
}
