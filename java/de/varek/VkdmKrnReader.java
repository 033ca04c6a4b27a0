package de.varek;

/**
 * Reader modules of the data-manager bridge (libnubokrn4j), by handle, and the
 * listener of their callbacks.
 *
 * <p>Loading the class loads the library. Every method is static and takes the
 * module handle first; failures throw {@link VkdmException},
 * {@link VkPortDriverException} or {@link VkReaderDriverException}, chosen by the
 * code's range, with the failing method, the line and the library's version in
 * the message. A handle that is not listed throws code -141.
 *
 * <p>What Java must keep:
 * <ul>
 * <li>Never {@link #Destroy} a module while another call on its handle runs,
 * from one of its callbacks, or while one of its tasks can still call back
 * (cancel the task and wait for its last callback first).
 * <li>Listener objects (this class's subclasses, {@link VkdmDlqApdu},
 * {@link VkdmDlqCommandQueue}) stay strongly reachable while registered or while
 * their task runs: the bridge holds them by weak references only.
 * <li>Destroy a module's function units ({@link VkdmKrnFunctionUnit}) before
 * the module.
 * <li>Calls that share the library's frame buffers (commands, tasks) serve one
 * Java thread at a time; {@link #Lock} and {@link #Unlock} serialise them.
 * </ul>
 *
 * <p>Listener slots. A module calls back at most three objects, one per slot;
 * each use of a slot holds it, and the object passed at the first use stays
 * until the last use is given back:
 * <ul>
 * <li>the reader slot: {@link #StartAsyncTask} (until the task ends, a
 * one-report inventory after its report, or is cancelled), {@link #SendSAMCommand}
 * (until its reply), and each registration of {@link #AddReaderEventListener},
 * {@link #AddCOMMEventListener} and {@link #AddUSBEventListener} (until it is
 * removed, the serial ones also when the module disconnects, all of them when
 * it is destroyed);
 * <li>the queue slot: {@link #SendCommandQueue} (until its reply);
 * <li>the APDU slot: the asynchronous {@link #SendTclApdu} (until its answer).
 * </ul>
 * A use with another object while the slot is held is accepted (0), but its
 * callbacks go to the object holding the slot; only {@link #AddUSBEventListener}
 * refuses another object (-142). The remove natives do not read their listener
 * argument. Pass one object per module and slot, or another only once the
 * slot's last use has been given back.
 *
 * <p>The callbacks below do nothing; subclass the class and override those a
 * listener needs. They run on the reader library's or the APDU library's threads.
 */
public class VkdmKrnReader {
    static {
        System.loadLibrary("nubokrn4j");
    }

    public VkdmKrnReader() {}

    // ---- callbacks -------------------------------------------------------------

    /** A reader event carrying a text (events 2, 3 and 101). */
    public void onVkKrnEvent(int event, String text) {}

    /** A reader event carrying bytes (events 4, 5 and 6). */
    public void onVkKrnEvent(int event, byte[] data) {}

    /** An inventory result; the tags are in the module's ISO table. */
    public void onVkdmNewTag(int status, byte command) {}

    /** A notification, input event, diagnostic or people-counter message. */
    public void onVkdmNewNotification(int status, byte command) {}

    /** The response of an asynchronous SAM command. */
    public void onVkdmNewSAMResponse(int status, byte[] response) {}

    /**
     * A modem line of the module's serial port changed (event 4 RTS, 5 DTR; state
     * 1 on, 0 off). Called on the thread that set the line, while the serial
     * library holds that port: do not drive the port from here.
     */
    public void onVkdmCommEvent(int event, int portNumber, int state) {}

    /**
     * A USB reader was plugged in (event 1, device handle 0) or a scanned one
     * pulled out (event 2, its handle); the device id is unsigned. Called on the
     * USB library's watch thread.
     */
    public void onVkdmUsbEvent(int event, int deviceHandle, long deviceId) {}

    // ---- modules, lock and versions --------------------------------------------

    /** Makes a reader module; its handle (0 after a version or dependency exception). */
    public static native int Init();

    /** 0, or -139 for a handle not listed; throws nothing. */
    public static native int Destroy(int handle);

    /** Takes the reader-manager lock (waits); 1. */
    public static native int Lock();

    /** Releases the reader-manager lock; 0. Releasing a free lock is harmless. */
    public static native int Unlock();

    public static native String GetLibVersion(int handle);

    /** 0 when the core's version is at least major.minor.patch, else -1. */
    public static native int VerifyLibVersion(int handle, int major, int minor, int patch);

    public static native String GetDependentLibVersions(int handle);

    public static native int GetVkkrnHandle(int handle);

    // ---- connection and port ---------------------------------------------------

    public static native int ConnectCOMM(int handle, int portNumber);

    public static native int ConnectTCP(int handle, String host, int port);

    public static native int ConnectUSB(int handle, long deviceId);

    public static native int DisConnect(int handle);

    public static native boolean IsConnected(int handle);

    public static native int GetTcpConnectionState(int handle);

    public static native int SetPortPara(int handle, String key, String value);

    public static native String GetPortPara(int handle, String key);

    public static native int SetLogPara(int handle, String key, String value);

    public static native void SetBusAddress(int handle, byte busAddress);

    public static native byte GetBusAddress(int handle);

    public static native int GetProtocolFrameSupport(int handle);

    public static native int SetProtocolFrameSupport(int handle, int value);

    public static native String GetFamilyCode(int handle);

    public static native String GetReaderName(int handle);

    public static native int GetReaderType(int handle);

    public static native int SetReaderType(int handle, int type);

    // ---- configuration and texts -----------------------------------------------

    public static native int ReadCompleteConfiguration(int handle, boolean flag);

    public static native int WriteCompleteConfiguration(int handle, boolean flag);

    public static native int ResetCompleteConfiguration(int handle, boolean flag);

    public static native int ApplyConfiguration(int handle, boolean flag);

    public static native int Serialize(int handle, boolean flag, String fileName);

    public static native int TransferXmlFileToReaderCfg(int handle, String fileName);

    public static native int TransferReaderCfgToXmlFile(int handle, String fileName);

    public static native int GetLastError(int handle);

    public static native int GetLastStatus(int handle);

    public static native String GetErrorText(int handle, int code);

    public static native String GetStatusText(int handle, byte status);

    // ---- tasks and listeners ---------------------------------------------------

    /**
     * Starts an inventory (kind 1 once, kind 2 per trigger) or the notification
     * listener (kind 3); the listener's callbacks receive the results.
     * {@code unused} is not read. The notification listener stores the sender's
     * address and the listener's own TCP port ("03 10 36 04 02 00 00" holds the
     * listening port, not the reader's).
     */
    public static native int StartAsyncTask(int handle, int kind, int keepConnection, int unused, int port,
                                            int acknowledge, byte timeout, boolean cipher, String key,
                                            boolean keepAlive, int keepAlive1, int keepAlive2, int keepAlive3,
                                            Object listener);

    public static native int CancelAsyncTask(int handle);

    public static native int TriggerAsyncTask(int handle);

    public static native int AddReaderEventListener(int handle, Object listener, int event);

    public static native int RemoveReaderEventListener(int handle, Object listener, int event);

    /**
     * Adds a listener of a modem line of the module's serial port (event 4 RTS, 5 DTR): 0, and
     * {@link #onVkdmCommEvent} is called from the next change on. The first listener of a line
     * registers the bridge with the serial library, the last removal takes it away; an add or
     * removal waits while another thread does that for the same line. Inside a callback it does
     * not wait, and the library follows once that thread is done.
     */
    public static native int AddCOMMEventListener(int handle, Object listener, int event);

    public static native int RemoveCOMMEventListener(int handle, Object listener, int event);

    /**
     * Adds a listener of USB readers plugged in (event 1) or pulled out (event 2): 0, and
     * {@link #onVkdmUsbEvent} is called from the next such event on, whatever other modules add
     * or remove meanwhile. The first listener of an event among all modules registers the bridge
     * with the USB library, the last removal takes it away; an add or removal waits while another
     * thread does that for the same event (a removal waits for the watch thread's callbacks to
     * return). Inside a callback it does not wait, and the library follows once that thread is
     * done.
     */
    public static native int AddUSBEventListener(int handle, Object listener, int event);

    public static native int RemoveUSBEventListener(int handle, Object listener, int event);

    // ---- commands --------------------------------------------------------------

    public static native int ReaderAuthentication(int handle, byte type, String key);

    public static native int SendProtocol(int handle, byte command);

    /** The response data as hex text, or null. */
    public static native String SendProtocol(int handle, byte command, String data);

    public static native String SendTransparent(int handle, String frame, boolean calcCrc);

    public static native int SendSAMCommand(int handle, int samSlot, byte[] data, int timeout, Object listener);

    public static native byte[] SendSAMCommandSync(int handle, int samSlot, byte[] data, int timeout);

    public static native int SendCommandQueue(int handle, int first, int second, byte[] data, int length,
                                              int timeout, Object listener);

    /**
     * Sends an APDU to the ISO 14443-4 card and returns at once; the answer comes once to
     * {@code listener.onVkdmApduResponse} on the APDU library's thread. The module keeps one T=CL
     * session, reused while CID, NAD and their flags stay the same. A request with other values
     * (an APDU, ping or deselect) while this APDU runs replaces the session: it waits up to one
     * port time-out for the running exchange to stop, and this APDU's answer still arrives once.
     */
    public static native int SendTclApdu(int handle, byte[] apdu, byte cid, byte nad, boolean useCid,
                                         boolean useNad, VkdmDlqApdu listener);

    /**
     * Sends an APDU and waits for the card's response: 0 with the response in {@code response} and its
     * length in {@code responseLength[0]}, or the reader's status byte (the arrays untouched).
     */
    public static native int SendTclApdu(int handle, byte[] apdu, byte cid, byte nad, boolean useCid,
                                         boolean useNad, byte[] response, int[] responseLength);

    public static native int SendTclDeselect(int handle, boolean useCid, byte cid);

    public static native int SendTclPing(int handle, boolean useCid, byte cid);

    public static native byte[] BuildProtocol(int handle, byte command);

    public static native int FindBaudRate(int handle);

    // ---- data memory and configuration parameters ------------------------------

    public static native int GetData(int handle, String id, boolean[] value);

    public static native int GetData(int handle, String id, byte[] value);

    public static native int GetData(int handle, String id, int[] value);

    public static native int GetData(int handle, String id, long[] value);

    public static native String GetStringData(int handle, String id);

    public static native int GetData(int handle, int id, byte[] value, int address, int count);

    public static native int SetData(int handle, String id, boolean value);

    public static native int SetData(int handle, String id, byte value);

    public static native int SetData(int handle, String id, byte[] value);

    public static native int SetData(int handle, String id, int value);

    public static native int SetData(int handle, String id, long value);

    public static native int SetData(int handle, String id, String value);

    public static native int GetConfigPara(int handle, String name, boolean[] value, boolean flag);

    public static native int GetConfigPara(int handle, String name, byte[] value, boolean flag);

    public static native int GetConfigPara(int handle, String name, int[] value, boolean flag);

    public static native int GetConfigPara(int handle, String name, long[] value, boolean flag);

    public static native String GetStringConfigPara(int handle, String name, boolean flag);

    public static native int SetConfigPara(int handle, String name, boolean value, boolean flag);

    public static native int SetConfigPara(int handle, String name, byte value, boolean flag);

    public static native int SetConfigPara(int handle, String name, byte[] value, boolean flag);

    public static native int SetConfigPara(int handle, String name, int value, boolean flag);

    public static native int SetConfigPara(int handle, String name, long value, boolean flag);

    public static native int SetConfigPara(int handle, String name, String value, boolean flag);

    public static native int GetConfigParaLength(int handle, String name);

    // ---- reader information and diagnostic -------------------------------------

    public static native VkdmKrnReaderInfo ReadReaderInfo(int handle, boolean read);

    public static native VkdmKrnReaderDiagnostic ReadReaderDiagnostic(int handle);

    // ---- tables ----------------------------------------------------------------

    /** A {@link VkdmBrmTableItem} (table 1) or {@link VkdmIsoTableItem} (table 2). */
    public static native Object GetTableItem(int handle, int index, int table);

    public static native Object[] GetTable(int handle, int table);

    public static native int SetTableItem(int handle, int index, Object item);

    public static native int SetTable(int handle, Object[] items);

    public static native int GetTableData(int handle, int index, int table, int dataId, boolean[] value);

    public static native int GetTableData(int handle, int index, int table, int dataId, byte[] value);

    public static native int GetTableData(int handle, int index, int table, int dataId, int[] value);

    public static native int GetTableData(int handle, int index, int table, int dataId, long[] value);

    public static native String GetStringTableData(int handle, int index, int table, int dataId);

    public static native int SetTableData(int handle, int index, int table, int dataId, boolean value);

    public static native int SetTableData(int handle, int index, int table, int dataId, byte value);

    public static native int SetTableData(int handle, int index, int table, int dataId, int value);

    public static native int SetTableData(int handle, int index, int table, int dataId, long value);

    public static native int SetTableData(int handle, int index, int table, int dataId, String value);

    public static native int GetTableData(int handle, int index, int table, int dataId, int block, byte[] data);

    public static native String GetStringTableData(int handle, int index, int table, int dataId, int block);

    public static native int SetTableData(int handle, int index, int table, int dataId, int block, byte[] data);

    public static native int SetTableData(int handle, int index, int table, int dataId, int block, String value);

    public static native int GetTableDataAddressed(int handle, int index, int unused1, int unused2, int address,
                                                   int length, byte[] data);

    public static native int SetTableDataAddressed(int handle, int index, int unused1, int unused2, int address,
                                                   int length, byte[] data);

    public static native int VerifyTableData(int handle, int index, int table, int first, int second);

    public static native int FindTableIndex(int handle, int start, int table, int dataId, boolean value);

    public static native int FindTableIndex(int handle, int start, int table, int dataId, byte value);

    public static native int FindTableIndex(int handle, int start, int table, int dataId, int value);

    public static native int FindTableIndex(int handle, int start, int table, int dataId, long value);

    public static native int FindTableIndex(int handle, int start, int table, int dataId, String value);

    public static native int SetTableSize(int handle, int table, int size);

    public static native int SetTableSize(int handle, int table, int capacity, int size1, int size2, int size3,
                                          int size4);

    public static native int GetTableSize(int handle, int table);

    public static native int GetTableLength(int handle, int table);

    public static native int SetTableLength(int handle, int table, int length);

    public static native int ResetTable(int handle, int table, int mode);
}
