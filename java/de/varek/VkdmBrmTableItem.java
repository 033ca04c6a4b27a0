package de.varek;

/**
 * One record of a reader module's BRM table, as {@code VkdmKrnReader.GetTableItem}
 * and {@code GetTable} build it (table id 1). BRM records can only be read.
 */
public class VkdmBrmTableItem {
    public byte transponderType;
    public byte epcType;
    public byte dbAddress;
    public int blockCount;
    public byte blockSize;
    public byte antennaNumber;
    public byte input;
    public byte state;
    public byte AFI;
    public byte DsfID;
    public byte IDDT;
    public byte direction;
    public boolean isUid;
    public boolean isEpc;
    public boolean isDB;
    public boolean isAntNr;
    public boolean isTIMER;
    public boolean isDATE;
    public boolean isInput;
    public boolean isDirection;
    public boolean isRSSI;
    public boolean isMacAddress;
    public byte[] uid = new byte[0];
    public byte[] rxPubData;
    public VkKrnReaderTime time = new VkKrnReaderTime();
    public byte[] macAddress = new byte[6];
    public byte[] class1Gen2PC = new byte[2];
    public byte[] class1Gen2XPC_W1 = new byte[2];
    public byte antCount;
    public byte[] antNumber = new byte[32];
    public byte[] antRSSI = new byte[32];

    /** The record's two table sizes; their product is the length of {@link #rxPubData}. */
    public final int size1;
    public final int size2;

    public VkdmBrmTableItem(int size1, int size2) {
        this.size1 = size1;
        this.size2 = size2;
        this.rxPubData = new byte[Math.max(0, size1) * Math.max(0, size2)];
    }

    public String getIdentifier() {
        return "BRM";
    }
}
