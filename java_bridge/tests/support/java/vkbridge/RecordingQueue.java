package vkbridge;

import de.varek.VkdmDlqCommandQueue;

/** A command-queue listener that records its callbacks. */
public class RecordingQueue extends VkdmDlqCommandQueue {
    public final Recorder recorder = new Recorder();

    @Override
    public void onVkdmQueueResponse(int status, byte command, byte[] response) {
        recorder.add("onVkdmQueueResponse", status, command, response);
    }
}
