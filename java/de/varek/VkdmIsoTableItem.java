package de.varek;

/**
 * One record of a reader module's ISO table (table id 2), as
 * {@code VkdmKrnReader.GetTableItem} and {@code GetTable} build it and
 * {@code SetTableItem} and {@code SetTable} write it back. Writing back takes
 * fixed counts from the start of the arrays: {@link #rxPubData} and
 * {@link #txPubData} must hold 8192 bytes, {@link #securityStatus} and the banks
 * 256, each element of the two configuration arrays 4, and {@link #uid} at least one.
 */
public class VkdmIsoTableItem {
    public byte transponderType;
    public byte flags;
    public byte epcType;
    public byte[] uid = new byte[0];
    public byte[] class1Gen2PC = new byte[2];
    public byte[] class1Gen2XPC_W1 = new byte[2];
    public byte DsfID;
    public byte chipID;
    public byte IDDT;
    public byte trInfo;
    public byte optInfo;
    public byte protoInfo;
    public byte productCode;
    public byte fabCode;
    public byte appCode;
    public byte embedderCode;
    public byte verlog;
    public byte config;
    public byte[] atr = new byte[0];
    public byte FSCI;
    public byte FWI;
    public byte DSI;
    public byte DRI;
    public byte CID;
    public byte NAD;
    public byte AFI;
    public int memSize;
    public byte ICRef;
    public byte blockSize;
    public boolean isUid;
    public boolean isEpc;
    public boolean isAFI;
    public boolean isSysInfo;
    public boolean isRSSI;
    public boolean isBlockSizeSet;
    public boolean isSelected;
    public byte[] rxPubData;
    public byte[] rxDB_EpcBank = new byte[256];
    public byte[] rxDB_TidBank = new byte[256];
    public byte[] rxDB_ResBank = new byte[256];
    public byte[] txPubData;
    public byte[] txDB_EpcBank = new byte[256];
    public byte[] txDB_TidBank = new byte[256];
    public byte[] txDB_ResBank = new byte[256];
    public byte[] securityStatus;
    public byte[][] rxCfgData = new byte[4][4];
    public byte[][] txCfgData = new byte[4][4];
    public byte antCount;
    public byte[] antNumber = new byte[8];
    public byte[] antStatus = new byte[8];
    public byte[] antRSSI = new byte[8];
    public byte[] challenge = new byte[10];
    public byte[] cryptoBlock = new byte[32];

    /** The record's index in the table and its four table sizes. */
    public final int index;
    public final int size1;
    public final int size2;
    public final int size3;
    public final int size4;

    public VkdmIsoTableItem(int index, int size1, int size2, int size3, int size4) {
        this.index = index;
        this.size1 = size1;
        this.size2 = size2;
        this.size3 = size3;
        this.size4 = size4;
        this.rxPubData = new byte[Math.max(0, size1) * Math.max(0, size2)];
        this.txPubData = new byte[Math.max(0, size3) * Math.max(0, size4)];
        this.securityStatus = new byte[Math.max(0, size1)];
    }

    public String getIdentifier() {
        return "ISO";
    }
}
