package de.varek;

/**
 * Listener of an asynchronous T=CL APDU of a reader module. The bridge holds it
 * by a weak reference only: keep the object strongly reachable until its
 * response has arrived.
 */
public class VkdmDlqApdu {
    /**
     * The exchange has ended, on the APDU library's thread.
     *
     * @param status 0, a reader status byte above 0, or a negative code
     * @param response the card's response, or null when there is none
     */
    public void onVkdmApduResponse(int status, byte[] response) {}
}
