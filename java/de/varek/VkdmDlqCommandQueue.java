package de.varek;

/**
 * Listener of a command queue of a reader module. The bridge holds it by a weak
 * reference only: keep the object strongly reachable until its response has
 * arrived.
 */
public class VkdmDlqCommandQueue {
    /**
     * The queue's reply, on the reader library's task thread.
     *
     * @param status the reader's status byte, or the reader library's negative code
     * @param command the command byte of the reply
     * @param response the reply's data (empty after an error)
     */
    public void onVkdmQueueResponse(int status, byte command, byte[] response) {}
}
