package de.varek;

/**
 * Thrown by the data-manager bridge (libnubokrn4j) for codes of the reader
 * protocol library (-4001 to -4099) and of the function-unit library.
 */
public class VkReaderDriverException extends RuntimeException {
    private static final long serialVersionUID = 1L;

    private final int code;

    public VkReaderDriverException(String message, int code) {
        super(message);
        this.code = code;
    }

    public int getCode() {
        return code;
    }
}
