package vkbridge;

import de.varek.VkdmException;
import de.varek.VkdmKrnReader;

/**
 * A reader listener for the task and event tests: records every callback, and
 * on request throws from a callback, cancels its own task there, or calls a
 * native of its module from inside a reader event.
 */
public class TaskListener extends RecordingReader {
    /** Callbacks that still throw after recording. */
    public volatile int throwCount;
    /** A module whose task onVkdmNewTag cancels (0: none); the result is recorded. */
    public volatile int cancelHandle;
    /** A module to which onVkKrnEvent adds a listener of event 5 (0: none); the code is recorded. */
    public volatile int addInEventHandle;

    @Override
    public void onVkdmNewTag(int status, byte command) {
        super.onVkdmNewTag(status, command);
        final int h = cancelHandle;
        if (h != 0) {
            cancelHandle = 0;
            recorder.add("cancel", VkdmKrnReader.CancelAsyncTask(h));
        }
        maybeThrow();
    }

    @Override
    public void onVkdmNewNotification(int status, byte command) {
        super.onVkdmNewNotification(status, command);
        maybeThrow();
    }

    @Override
    public void onVkKrnEvent(int event, String text) {
        final int h = addInEventHandle;
        if (h != 0) {
            addInEventHandle = 0;
            try {
                recorder.add("added", VkdmKrnReader.AddReaderEventListener(h, this, 5));
            } catch (VkdmException e) {
                recorder.add("added", e.getCode());
            } catch (RuntimeException e) {
                recorder.add("added", e.toString());
            }
        }
        recorder.add("onVkKrnEvent", event, text.isEmpty() ? "empty" : "text");
    }

    @Override
    public void onVkdmCommEvent(int event, int portNumber, int state) {
        recorder.add("onVkdmCommEvent", event, portNumber, state);
    }

    @Override
    public void onVkdmUsbEvent(int event, int deviceHandle, long deviceId) {
        recorder.add("onVkdmUsbEvent", event, deviceHandle, deviceId);
    }

    private void maybeThrow() {
        if (throwCount > 0) {
            --throwCount;
            throw new IllegalStateException("listener failure for the test");
        }
    }
}
