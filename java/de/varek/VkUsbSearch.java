package de.varek;

/** The search object of {@link VkUsb#Scan} and {@link VkUsb#ScanAndOpen}. */
public class VkUsbSearch {
    /** Exactly one criterion: 1 family name, 2 device name, 4 device id. */
    public int mask;
    /** At most 24 bytes of modified UTF-8. */
    public String familyName;
    /** At most 24 bytes of modified UTF-8. */
    public String deviceName;
    /** Hexadecimal, at most 15 bytes. */
    public String deviceID;

    public VkUsbSearch() {}

    public VkUsbSearch(int mask, String familyName, String deviceName, String deviceID) {
        this.mask = mask;
        this.familyName = familyName;
        this.deviceName = deviceName;
        this.deviceID = deviceID;
    }
}
