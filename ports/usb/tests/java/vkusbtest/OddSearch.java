package vkusbtest;

/** Not a VkUsbSearch, but with its fields (and one more). */
public class OddSearch {
    public String deviceID;
    public String deviceName;
    public long extra = 7;
    public String familyName;
    public int mask;
}
