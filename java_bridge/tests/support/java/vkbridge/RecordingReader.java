package vkbridge;

import de.varek.VkdmKrnReader;

/** A reader listener that records each of its callbacks. */
public class RecordingReader extends VkdmKrnReader {
    public final Recorder recorder = new Recorder();

    @Override
    public void onVkKrnEvent(int event, String text) {
        recorder.add("onVkKrnEvent", event, text);
    }

    @Override
    public void onVkKrnEvent(int event, byte[] data) {
        recorder.add("onVkKrnEvent", event, data);
    }

    @Override
    public void onVkdmNewTag(int status, byte command) {
        recorder.add("onVkdmNewTag", status, command);
    }

    @Override
    public void onVkdmNewNotification(int status, byte command) {
        recorder.add("onVkdmNewNotification", status, command);
    }

    @Override
    public void onVkdmNewSAMResponse(int status, byte[] response) {
        recorder.add("onVkdmNewSAMResponse", status, response);
    }
}
