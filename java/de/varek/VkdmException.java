package de.varek;

/**
 * Thrown by the data-manager bridge (libnubokrn4j) for codes of the data-manager
 * core (-100 to -999) and for every code no other exception class takes.
 */
public class VkdmException extends RuntimeException {
    private static final long serialVersionUID = 1L;

    private final int code;

    public VkdmException(String message, int code) {
        super(message);
        this.code = code;
    }

    public int getCode() {
        return code;
    }
}
