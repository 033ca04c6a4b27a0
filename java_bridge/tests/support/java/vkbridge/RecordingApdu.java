package vkbridge;

import de.varek.VkdmDlqApdu;

/** An APDU listener that records its callbacks. */
public class RecordingApdu extends VkdmDlqApdu {
    public final Recorder recorder = new Recorder();

    @Override
    public void onVkdmApduResponse(int status, byte[] response) {
        recorder.add("onVkdmApduResponse", status, response);
    }
}
